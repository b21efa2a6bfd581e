#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures how much processor time quillon-cli uses while it waits for a card: it must not poll.
#
# The card is kx40-sim --no-identify: it sets up the link and answers the keep-alives but never
# identifies itself, so the program sits in its identification wait (about 20 s before it gives
# up) with the port open and the keep-alive timer running. A card that says nothing at all would
# be given up after 5 s, too soon for a 10 s measurement.
#
# Builds nothing: give the build folder (default: build/). Prints the share of one core used
# over 10 s of waiting, from /proc/<pid>/stat utime+stime; exits 1 when it is 2 % or more.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
sim=$build/tools/sim/kx40-sim
cli=$build/tools/cli/quillon-cli
for exe in "$sim" "$cli"; do
  [ -x "$exe" ] || { echo "missing $exe: build first (scripts/build.sh)" >&2; exit 2; }
done

work=$(mktemp -d)
sim_pid=
cli_pid=
cleanup() {
  [ -n "$cli_pid" ] && kill "$cli_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config

"$sim" --link "$work/kx40" --no-identify >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -L "$work/kx40" ] && break; sleep 0.1; done
[ -L "$work/kx40" ] || { echo "kx40-sim did not start" >&2; cat "$work/sim.out" >&2; exit 2; }

"$cli" get --port "$work/kx40" -o "$work/Waiting.kxd" >"$work/cli.out" 2>&1 &
cli_pid=$!

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
sleep 2 # the link is set up; from here on the program only waits
kill -0 "$cli_pid" 2>/dev/null || { echo "quillon-cli ended early:" >&2; cat "$work/cli.out" >&2; exit 2; }
start=$(ticks "$cli_pid")
sim_start=$(ticks "$sim_pid")
sleep 10
kill -0 "$cli_pid" 2>/dev/null || { echo "quillon-cli ended during the measurement:" >&2; cat "$work/cli.out" >&2; exit 2; }
end=$(ticks "$cli_pid")
sim_end=$(ticks "$sim_pid")

awk -v used=$((end - start)) -v sim=$((sim_end - sim_start)) -v hz="$hz" 'BEGIN {
  share = 100 * used / (hz * 10)
  printf "quillon-cli waiting for a card that never identifies: %.2f %% of one core over 10 s (%d ticks of %d)\n", share, used, hz * 10
  printf "kx40-sim meanwhile: %.2f %%\n", 100 * sim / (hz * 10)
  if (share >= 2) { print "FAIL: 2 % or more"; exit 1 }
  print "OK: under 2 %"
}'
