#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times "quillon-cli fleet backup" of 32 paced simulated cards (kx40-sim, each on a
# pseudo-terminal of its own) at --jobs 16 and --jobs 32, for SID and for AVM cards, against one
# card's time: the wall time must stay at or under 1.3 x (one card's time x ceil(32 / jobs)).
# Prints the program's own CPU time and peak memory, and both per card. Fails when a row is over
# its limit or a card failed.
# Usage: scripts/bench-fleet.sh [build dir] [cards]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
count=${2:-32}
sim=$build/tools/sim/kx40-sim
cli=$build/tools/cli/quillon-cli
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

# $count cards of one kind, card-01..., and their inventory $work/cards-KIND.ini.
start_rack() {
  local kind=$1 i name
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  pids=()
  rm -f "$work"/card-* "$work/cards-$kind.ini"
  for i in $(seq "$count"); do
    name=$(printf 'card-%02d' "$i")
    "$sim" --link "$work/$name" --card "$kind" --serial "$(printf '4B5834%04X' "$i")" >/dev/null 2>&1 &
    pids+=($!)
  done
  for i in $(seq "$count"); do
    name=$(printf 'card-%02d' "$i")
    for _ in $(seq 100); do [ -L "$work/$name" ] && break; sleep 0.05; done
    "$cli" cards add "$name" --port "$work/$name" --kind "$kind" --inventory "$work/cards-$kind.ini" >/dev/null
  done
}

# Runs one fleet backup; prints "wall user+system peak-KiB" of quillon-cli, fails when a card failed.
measure() {
  local out=$work/time.out
  if ! /usr/bin/time -f '%e %U %S %M' -o "$out" "$cli" fleet backup --inventory "$work/cards-$1.ini" \
      --backup-dir "$work/backups" "${@:2}" >"$work/fleet.out" 2>"$work/fleet.err"; then
    cat "$work/fleet.out" "$work/fleet.err" >&2
    return 1
  fi
  awk '{ printf "%.3f %.3f %d\n", $1, $2 + $3, $4 }' "$out"
}

# The median of three runs of one card: its wall time, CPU and peak memory.
one_card() {
  local runs=() i
  for i in 1 2 3; do runs+=("$(measure "$1" --card card-01)"); done
  printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p
}

status=0
printf '%-4s %5s %6s %9s %8s %5s %10s %12s %11s\n' kind jobs cards "wall s" "limit s" ratio "CPU ms" "CPU ms/card" "KiB/card"
for kind in sid avm; do
  start_rack "$kind"
  read -r one_wall one_cpu one_peak <<<"$(one_card "$kind")"
  printf '%-4s %5s %6s %9.2f %8s %5s %10.0f %12.1f %11s\n' "$kind" 1 1 "$one_wall" - - "$(echo "$one_cpu * 1000" | bc -l)" \
    "$(echo "$one_cpu * 1000" | bc -l)" "($one_peak KiB peak)"
  for jobs in 16 32; do
    read -r wall cpu peak <<<"$(measure "$kind" --jobs "$jobs")"
    rounds=$(( (count + jobs - 1) / jobs ))
    limit=$(echo "1.3 * $one_wall * $rounds" | bc -l)
    ratio=$(echo "$wall / ($one_wall * $rounds)" | bc -l)
    per_cpu=$(echo "($cpu - $one_cpu) * 1000 / ($count - 1)" | bc -l)
    per_mem=$(echo "($peak - $one_peak) / ($count - 1)" | bc -l)
    printf '%-4s %5s %6s %9.2f %8.2f %5.2f %10.0f %12.1f %11.0f\n' "$kind" "$jobs" "$count" "$wall" "$limit" "$ratio" \
      "$(echo "$cpu * 1000" | bc -l)" "$per_cpu" "$per_mem"
    if (( $(echo "$wall > $limit" | bc -l) )); then
      echo "  over the limit: $wall s > $limit s" >&2
      status=1
    fi
  done
done
echo "CPU ms/card and KiB/card: what each card beyond the first adds to quillon-cli's CPU time and peak memory"
exit $status
