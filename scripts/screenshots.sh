#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the main window, the five settings windows, the compare window, the backup chooser, a
# settings window with an AVM set-up held, a Send's one answer and the about box into docs/screenshots/, on a virtual X
# server, so it runs on a machine without a display. A window manager on it lets the main window
# be maximised as on a desktop.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/deps.sh" openbox
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j2 --target quillon-screenshots
mkdir -p "$here/docs/screenshots"
xvfb-run -a -s "-screen 0 1024x640x24" sh -c '
  openbox >/dev/null 2>&1 &
  manager=$!
  sleep 1
  status=0
  QT_QPA_PLATFORM=xcb "$1" "$2" || status=$?
  kill "$manager"
  exit "$status"' sh "$here/build/tests/gui/quillon-screenshots" "$here/docs/screenshots"
