#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Tries the installer in a fresh Wine prefix: a silent install; the programs started from the
# installed folder alone (no Qt or MinGW folder on the path): quillon-cli.exe --version, a Get
# from kx40-sim on a COM port, the desktop program on a virtual X display (its window drawn
# into WINDOWS_BUILD_DIR/installer-test/quillon.png); then a silent uninstall, after which the
# folder, the Start menu entry and the registry keys are gone.
#
#   test-installer.sh QT_PREFIX WINDOWS_BUILD_DIR KX40_SIM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
source "$here/checks.sh"
source "$here/xdisplay.sh"
qt=$1 out=$(realpath "$2") sim=$(realpath "$3")
setup=$(ls "$out"/quillon-*-setup.exe)
version=$(basename "$setup" | sed 's/^quillon-\(.*\)-setup.exe$/\1/')
work="$out/installer-test"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
unset DISPLAY
wine_env "$qt"
# Nothing but the installed folder: the programs must find every DLL and plugin there.
unset WINEPATH WINEQT_PLUGIN_PATH WINEQT_QPA_FONTDIR
wine_new_prefix "$work/prefix"
# Windows keeps font files in its Fonts folder; Debian's Wine leaves it empty.
cp /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
trap 'stop_sim; stop_display; wineserver -k 2>/dev/null || true' EXIT
folder="$WINEPREFIX/drive_c/Program Files/Quillon"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillon.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon'
has_key() { wine reg query "$1" >/dev/null 2>&1; }
value_of() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ\s*//p'; }

run_timed install wine "$setup" /S
wineserver -w
check "the silent install succeeds" test "$rc" = 0
for file in quillon.exe quillon-cli.exe uninstall.exe Qt6Core.dll Qt6Widgets.dll Qt6SerialPort.dll \
            libstdc++-6.dll libwinpthread-1.dll platforms/qwindows.dll iconengines/qsvgicon.dll \
            help/QuillonHelp.html licences/Quillon-GPL-3.0.txt; do
    check "installed: $file" test -f "$folder/$file"
done
check "a Start menu entry" test -f "$menu"
check "the uninstall entry" has_key "$uninstall_key"
check ".kxd files open in Quillon" test "$(value_of 'HKCR\.kxd')" = Quillon.SidSetup
check ".kxm files open in Quillon" test "$(value_of 'HKCR\.kxm')" = Quillon.AvmSetup
check "the open command names the program" \
    grep -qi 'quillon.exe" "%1"' <(value_of 'HKCR\Quillon.SidSetup\shell\open\command')

run_timed version wine "$folder/quillon-cli.exe" --version
check "quillon-cli.exe --version from the installed folder" grep -qx "quillon-cli $version" \
    <(tr -d '\r' <version.out)

start_sim sid
wine_map_com 5 "$work/sim.tty"
run_timed get wine "$folder/quillon-cli.exe" get --port COM5 -o 'C:\Card.kxd' --no-backup
check "a Get from the installed folder succeeds" test "$rc" = 0
check "the set-up was saved" test -s "$WINEPREFIX/drive_c/Card.kxd"
stop_sim
run_timed report wine "$folder/quillon-cli.exe" report 'C:\Card.kxd' -o 'C:\Card.pdf'
check "a PDF report from the installed folder (offscreen platform)" \
    grep -q "^%PDF" "$WINEPREFIX/drive_c/Card.pdf"
check "the report has its text, in Windows' fonts" \
    grep -q "Set-up Audio" <(pdftotext "$WINEPREFIX/drive_c/Card.pdf" - 2>/dev/null)

# The desktop program, with Qt telling which plugins it loads.
start_display
WINEQT_DEBUG_PLUGINS=1 WINEQT_FORCE_STDERR_LOGGING=1 wine "$folder/quillon.exe" >gui.out 2>gui.err &
gui=$!
window=$(wait_for_window "Quillon" 60) || true
check "the desktop program shows its main window" test -n "$window"
loaded() { tr -d '\r' <gui.err | sed -n 's/^.*"\([^"]*\)" loaded library$/\1/p'; }
check "the Windows platform plugin came from the installed folder" \
    grep -qi "Program Files/Quillon/platforms/qwindows.dll" <(loaded)
check "the SVG icon engine came from the installed folder" \
    grep -qi "Program Files/Quillon/iconengines/qsvgicon.dll" <(loaded)
check "no plugin came from elsewhere" ! grep -vi "Program Files/Quillon/" <(loaded)
if [[ -n "$window" ]]; then
    # The toolbar's eighth button, Audio Set-up, below the title bar.
    xdotool windowactivate --sync "$window" mousemove --window "$window" 184 41 click 1 \
        2>/dev/null || true
    sleep 3
    import -window root quillon.png
fi
wineserver -k 2>/dev/null || true
wait "$gui" 2>/dev/null || true
stop_display

run_timed uninstall wine "$folder/uninstall.exe" /S
wineserver -w  # the uninstaller goes on from a copy of itself
check "the silent uninstall succeeds" test "$rc" = 0
check "the program folder is gone" test ! -e "$folder"
check "the Start menu entry is gone" test ! -e "$menu"
check "the uninstall entry is gone" ! has_key "$uninstall_key"
check "the .kxd association is gone" ! has_key 'HKCR\.kxd'
check "the .kxm association is gone" ! has_key 'HKCR\.kxm'
check "the file classes are gone" ! has_key 'HKCR\Quillon.SidSetup'
check "the program's settings are gone" ! has_key 'HKCU\Software\Quillon'
report_checks "Installer under Wine"
