#!/usr/bin/env bash
# Times Get and Send of a SID and an AVM card against kx40-sim at line speed, and prints each
# as the ratio of the connection's time on the line (from the host's answer to the card's SYN
# to its closing SYN, as the card sees it) to the line time of the bytes both sides sent plus
# the pauses the protocol mandates (the host's 50 ms after an acknowledgement, the card's flash
# write). 1.00 is the line's limit. Usage: scripts/bench-transfers.sh [build dir] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
runs=${2:-3}
sim=$build/tools/sim/kx40-sim
cli=$build/tools/cli/quillon-cli
work=$(mktemp -d)
trap 'kill "${simpid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

worst=0
for card in sid avm; do
  file=$work/Studio.kxd
  [ "$card" = avm ] && file=$work/Studio.kxm
  "$sim" --link "$work/kx40" --card "$card" >"$work/sim.out" 2>/dev/null &
  simpid=$!
  for _ in $(seq 50); do [ -L "$work/kx40" ] && break; sleep 0.1; done
  for run in $(seq "$runs"); do
    "$cli" get -o "$file" --port "$work/kx40" >/dev/null
    "$cli" send "$file" --port "$work/kx40" >/dev/null
  done
  sleep 0.3
  kill "$simpid"
  wait "$simpid" 2>/dev/null || true
  # Connections alternate: get, send, get, send, ...
  n=0
  while read -r line; do
    kind=get
    [ $((n % 2)) -eq 1 ] && kind=send
    n=$((n + 1))
    ratio=${line##* }
    printf '%-4s %-5s %s\n' "$card" "$kind" "${line#connection: }"
    worst=$(awk -v a="$worst" -v b="$ratio" 'BEGIN { print (b > a) ? b : a }')
  done < <(grep '^connection:' "$work/sim.out")
done
echo "worst ratio: $worst (at most 1.05 wanted)"
awk -v w="$worst" 'BEGIN { exit (w <= 1.05) ? 0 : 1 }'
