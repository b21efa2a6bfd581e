#!/usr/bin/env bash
# Draws the main window, the five settings windows and the about box into docs/screenshots/,
# on a virtual X server, so it runs on a machine without a display.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/deps.sh"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j2 --target quillon-screenshots
mkdir -p "$here/docs/screenshots"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb "$here/build/tests/gui/quillon-screenshots" "$here/docs/screenshots"
