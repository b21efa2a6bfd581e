#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program and starts it with a simulated KX40 card on Com1, so that Get, edit, Send,
# Save and Open work at once without a card. Without a display it shows the same round with
# quillon-cli. Your own Quillon settings are not touched: this run has a settings store of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
bin=$here/build
cli=$bin/tools/cli/quillon-cli

work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-run.XXXXXX")
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# What the simulated card receives stays after the run.
images=$bin/run
received=$images/received-image.bin
mkdir -p "$images"
rm -f "$received"

link=$work/kx40-card
"$bin/tools/sim/kx40-sim" --link "$link" --save-image "$received" >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  [ -e "$link" ] && break
  sleep 0.1
done
if [ ! -e "$link" ]; then
  echo "The simulated card did not start:" >&2
  cat "$work/sim.log" >&2
  exit 1
fi

# The run's own settings store: Com1 is the simulated card, and it is the chosen port.
export XDG_CONFIG_HOME=$work/config
export XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/Quillon" "$XDG_DATA_HOME"
printf '[File]\nComm=1\n\n[Ports]\nCom1=%s\n' "$link" >"$XDG_CONFIG_HOME/Quillon/Quillon.conf"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cat <<EOM

Quillon is starting with a simulated SID card on Com1 ($link).
  - Get Card Set-up (toolbar) reads the card's set-up into the settings windows;
  - edit it in the windows (toolbar buttons on the right), then Send Card Set-up;
  - Save File and Open File keep set-ups in .kxd files.
The simulated card writes each set-up image it receives to
  $received
EOM
  status=0
  "$bin/src/app/gui/quillon" || status=$?
  if [ -f "$received" ]; then
    echo "The card received a set-up image; see it with:"
    echo "  $cli decode $received -o /tmp/received.kxd && $cli show /tmp/received.kxd"
  fi
  exit "$status"
fi

echo
echo "No display (\$DISPLAY and \$WAYLAND_DISPLAY are empty), so here is the same round with"
echo "quillon-cli, against the simulated card on $link:"
export PATH="$bin/tools/cli:$PATH"
cd "$work"
ln -s "$received" received-image.bin
run() {
  echo
  echo "== $1"
  shift
  echo "\$ $*"
  eval "$*"
}
controls='sed -n "/Set-up Controls/,/^\$/p"'
run "Get the card's set-up into a file" quillon-cli get --port $link -o Card.kxd
run "Show it (the Controls window's part)" "quillon-cli show Card.kxd | $controls"
run "Edit it: the message of GPI #1 becomes ON AIR" "sed -i 's/^\"RECORD\"/\"ON AIR\"/' Card.kxd"
run "Send it to the card" quillon-cli send Card.kxd --port $link
run "What the card received (the simulator keeps it in $received)" \
  "quillon-cli decode received-image.bin -o Received.kxd >/dev/null && quillon-cli show Received.kxd | $controls"
echo
echo "With a display, bash scripts/run.sh starts the desktop program against the same simulated card."
