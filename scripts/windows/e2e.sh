#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End to end on the Windows code paths: quillon-cli.exe under Wine gets and sends the set-ups of
# a SID and an AVM card played by kx40-sim (the Linux build, at the line's real speed) on a
# pseudo-terminal that a throw-away Wine prefix maps to a COM port; then the port diagnosis
# for a COM port that does not exist and for one in use.
#
#   e2e.sh QT_PREFIX WINDOWS_BUILD_DIR KX40_SIM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
source "$here/checks.sh"
qt=$1 out=$(realpath "$2") sim=$(realpath "$3")
cli="$out/tools/cli/quillon-cli.exe"
work="$out/e2e"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
unset DISPLAY  # no window is needed; nothing may reach someone's X server
wine_env "$qt"
wine_new_prefix "$work/prefix"
trap 'stop_sim; wineserver -k 2>/dev/null || true' EXIT
user_dir="$WINEPREFIX/drive_c/users/$(id -un)"

win() { wine "$cli" "$@"; }

# A SID card with a set-up of its own: the factory set-up with the SID window moved.
win defaults -o Factory.kxd >/dev/null
awk 'NR == 49 { $0 = "\"120\"\r" } { print }' Factory.kxd >Studio.kxd
win image Studio.kxd -o studio.bin >/dev/null
win image Factory.kxd -o factory.bin >/dev/null
check "the set-ups differ" ! cmp -s studio.bin factory.bin

start_sim sid --image studio.bin --save-image sid-received.bin
wine_map_com 3 "$work/sim.tty"

# Get through the port chosen in the program (its setting in the registry), with the default
# backup folder.
wine reg add 'HKCU\Software\Quillon\Quillon\File' /v Comm /d 3 /f >/dev/null 2>&1
run_timed get-sid on_line win get -o Card.kxd --trace 'C:\Out.bin' --log get-sid.log
check "SID Get through Com3 from the registry succeeds" test "$rc" = 0
win image Card.kxd -o card.bin >/dev/null || true
check "SID Get brings the card's set-up" cmp -s card.bin studio.bin
check "the backup is in %LOCALAPPDATA%\\Quillon\\backups" \
    compgen -G "$user_dir/AppData/Local/Quillon/backups/SID-4B58343031-*.kxd"
check "the trace is C:\\Out.bin" test -s "$WINEPREFIX/drive_c/Out.bin"

run_timed send-sid on_line win send Factory.kxd --port COM3 --backup-dir 'C:\backups' --stats
check "SID Send (backup, send, verify) succeeds" test "$rc" = 0
check "SID Send is verified" grep -q "Card Setup Verified." send-sid.out
check "the SID card holds the set-up sent" cmp -s sid-received.bin factory.bin
check "the backup before the Send holds the card's previous set-up" \
    compgen -G "$WINEPREFIX/drive_c/backups/SID-4B58343031-*.kxd"
stop_sim

# An AVM card: its image is opaque; after identification the line runs at 1200 baud.
{ printf '\030\003'; head -c 118 /dev/zero | tr '\0' '\125'; } >avm.kxm
start_sim avm --image avm.kxm --save-image avm-received.bin
run_timed get-avm on_line win get --port COM3 -o Card.kxm --no-backup --log get-avm.log
check "AVM Get succeeds" test "$rc" = 0
check "AVM Get brings the card's image byte for byte" cmp -s Card.kxm avm.kxm
check "the link switched to 1200 baud" grep -q -- "-- SPEED 1200 baud" get-avm.log
check "the card heard the host at 1200 baud" grep -q "^host at 1200 baud" sim.out
{ head -c 119 avm.kxm; printf '\001'; } >Spare.kxm
run_timed send-avm on_line win send Spare.kxm --port COM3 --no-backup
check "AVM Send (send, verify) succeeds" test "$rc" = 0
check "the AVM card holds the image sent" cmp -s avm-received.bin Spare.kxm
check "the closing SYN left at 1200 baud" grep -q "SYN from the host at 1200 baud" sim.out
stop_sim

# Processor time while the program waits for a card that sets up the link but never identifies
# itself: Wine's pseudo-terminal COM port completes the wait for a received byte at once, with
# no event, so Qt's serial port looks again and again.
start_sim sid --no-identify
tty_exclusive on
wine "$cli" get --port COM3 -o Never.kxd --no-backup >idle.out 2>&1 &
waiting=$!
sleep 3
server=$(wineserver_pid)
echo "  waiting: program $waiting ($(cat /proc/$waiting/comm 2>/dev/null)), wineserver ${server:-not found}" >>timings.txt
before=$(cpu_ticks "$waiting" $server)
sleep 10
after=$(cpu_ticks "$waiting" $server)
idle=$(awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", 100 * t / hz / 10 }')
echo "  waiting for a card: ${idle} % of one core (program and wineserver, 10 s)" >>timings.txt
kill "$waiting" 2>/dev/null; wait "$waiting" 2>/dev/null || true
tty_exclusive off
stop_sim

# Ctrl+C in the console ends the transfer as closing the program does: the card hears the
# closing SYN. (script gives the program a terminal for its console, and types the Ctrl+C.)
start_sim sid --no-identify
mkfifo keys
{ sleep 4; printf '\003'; sleep 5; } >keys &
typist=$!
run_timed ctrl-c on_line script -qefc "wine '$cli' get --port COM3 -o Stopped.kxd --no-backup" /dev/null <keys
wait "$typist" 2>/dev/null || true
# Wine's console draws each character with escape sequences around it, and moves over blanks.
sed -e 's/\x1b\[K\x1b\[1C/ /g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' ctrl-c.out >ctrl-c.txt
check "Ctrl+C ends the transfer" grep -q "Stopped by SIGINT: the transfer was ended." ctrl-c.txt
check "the card heard the closing SYN" grep -q "SYN from the host" sim.out
stop_sim

# The ports Windows lists, and what Com1 to Com4 stand for.
run_timed ports win ports
check "COM3 is listed" grep -q "^  COM3" ports.out
check "Com3 stands for COM3, present" grep -q "Com3  COM3 (default): present" <(tr -d '\r' <ports.out)

# The port diagnosis: a COM port that does not exist, and one that another program holds.
run_timed missing win get --port COM9 -o None.kxd --no-backup
check "a missing port fails" test "$rc" = 1
check "a missing port is named as missing" grep -q "COM9 does not exist" missing.err
# Wine lets two Windows programs open one COM port; a Linux program that holds the device in
# exclusive mode makes the opening fail, as another program holding it does on Windows. Root
# ignores exclusive mode: the Windows program runs as user nobody, in a prefix of its own.
start_sim sid --silent
chmod 0666 "$(readlink -f sim.tty)"
python3 -c '
import fcntl, os, signal, sys, termios
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
fcntl.ioctl(fd, termios.TIOCEXCL)
print("held", flush=True)
signal.pause()' "$(readlink -f sim.tty)" >holder.out 2>&1 &
holder=$!
nobody_home=$(mktemp -d) && chmod 0755 "$nobody_home" && chown nobody "$nobody_home"
as_nobody() {
    setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$nobody_home" \
        WINEPREFIX="$nobody_home/prefix" "$@"
}
as_nobody bash -c "source '$here/wine-env.sh' && wine_new_prefix \"\$WINEPREFIX\" && wine_map_com 3 '$work/sim.tty'"
run_timed in-use as_nobody wine "$cli" get --port COM3 -o 'C:\Busy.kxd' --no-backup
check "a port in use fails" test "$rc" = 1
check "a port in use is named as in use" grep -q "COM3 is in use by another program" in-use.err
as_nobody wineserver -k 2>/dev/null || true
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null || true
rm -rf "$nobody_home"
stop_sim

report_checks "Windows end to end"
