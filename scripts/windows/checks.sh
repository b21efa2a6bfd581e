# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the Windows test scripts: named checks, timed runs and the simulated card.
#   check NAME [!] COMMAND...     passes when COMMAND succeeds (or, with !, fails)
#   run_timed NAME COMMAND...     runs it; stdout in NAME.out, stderr in NAME.err, status in $rc
#   start_sim TYPE ARGS...        kx40-sim ($sim) as a TYPE card on ./sim.tty, output in sim.out
#   stop_sim                      stops it; its line-time ratios go to timings.txt
#   on_line COMMAND...            runs a Windows program that opens the card's port (see below)
#   cpu_ticks PID...              processor time used so far by these processes, in clock ticks
#   wineserver_pid                the wineserver of the current prefix
#   report_checks TITLE           prints the results; exits 1 when a check failed

checks_passed=0
checks_failed=()
sim_pid=""
sim_card=""

check() {
    local name=$1 invert=0 ok=0; shift
    if [[ "$1" == "!" ]]; then invert=1; shift; fi
    if "$@" >/dev/null 2>&1; then ok=1; fi
    if ((ok != invert)); then
        checks_passed=$((checks_passed + 1)); echo "  ok    $name"
    else
        checks_failed+=("$name"); echo "  FAIL  $name"
    fi
}

run_timed() {
    local name=$1 start; shift
    start=$(date +%s.%N)
    rc=0
    "$@" >"$name.out" 2>"$name.err" || rc=$?
    printf '  %-10s %6.1f s  exit %d\n' "$name" "$(echo "$(date +%s.%N) - $start" | bc)" "$rc" >>timings.txt
}

start_sim() {
    sim_card=$1; shift
    rm -f sim.tty
    "$sim" --link "$PWD/sim.tty" --card "$sim_card" "$@" >sim.out 2>&1 &
    sim_pid=$!
    local i
    for i in $(seq 50); do [[ -L sim.tty ]] && return; sleep 0.1; done
    echo "kx40-sim did not start:" >&2; cat sim.out >&2; return 1
}

stop_sim() {
    [[ -n "$sim_pid" ]] || return 0
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
    grep "ratio" sim.out | sed "s/^/  $sim_card card: /" >>timings.txt || true
    cat sim.out >>sim-all.out
}

# kx40-sim knows that the host has opened the port by the exclusive mode Linux serial layers
# set on the device; Wine's does not set it. So it is set around the run of a Windows program
# that opens the port, and cleared after: the card calls while the program runs.
tty_exclusive() {
    python3 -c '
import fcntl, os, sys, termios
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
fcntl.ioctl(fd, termios.TIOCEXCL if sys.argv[2] == "on" else termios.TIOCNXCL)' \
        "$(readlink -f sim.tty)" "$1"
}

on_line() {
    local status=0
    tty_exclusive on
    "$@" || status=$?
    tty_exclusive off
    return $status
}

cpu_ticks() {
    local pid total=0
    for pid in "$@"; do
        total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo 0)))
    done
    echo "$total"
}

wineserver_pid() {  # it works in a folder named after its prefix's device and inode
    local dir pid
    dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    for pid in $(pgrep -x 'wineserver(64)?'); do
        [[ "$(readlink "/proc/$pid/cwd")" == */"$dir" ]] && echo "$pid" && return
    done
    return 0
}

report_checks() {
    echo "$1: $checks_passed passed, ${#checks_failed[@]} failed"
    if [[ -f timings.txt ]]; then echo "Times:"; cat timings.txt; fi
    if ((${#checks_failed[@]})); then
        printf '  failed: %s\n' "${checks_failed[@]}"
        return 1
    fi
}
