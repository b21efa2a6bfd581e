#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times Get and Send of a SID and an AVM card against kx40-sim at line speed, and prints each
# as the ratio of the connection's time on the line (from the host's answer to the card's SYN
# to its closing SYN, as the card sees it) to the line time of the bytes both sides sent plus
# the pauses the protocol mandates (the host's 50 ms after an acknowledgement, the card's flash
# write). 1.00 is the line's limit. The same rows again through ser2net on this computer (RFC
# 2217, a round trip of well under a millisecond), and through ser2net behind a relay that delays
# each direction by 20 ms (a round trip of 40 ms, as the relay measures it): over a network each
# answer of the host to the card costs one round trip more, so those rows are measured against
# line time, pauses and one round trip per answer. Usage: scripts/bench-transfers.sh [build dir] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
runs=${2:-3}
sim=$build/tools/sim/kx40-sim
cli=$build/tools/cli/quillon-cli
relay=$build/tests/net/net-delay-relay
work=$(mktemp -d)
trap 'kill "${simpid:-}" "${serverpid:-}" "${relaypid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

# A simulated card of this kind on $work/kx40, logging to $work/sim.out; $file is its set-up.
start_card() {
  file=$work/Studio.kxd
  [ "$1" = avm ] && file=$work/Studio.kxm
  "$sim" --link "$work/kx40" --card "$1" >"$work/sim.out" 2>/dev/null &
  simpid=$!
  for _ in $(seq 50); do [ -L "$work/kx40" ] && break; sleep 0.1; done
}

stop_card() {
  sleep 0.3
  kill "$simpid"
  wait "$simpid" 2>/dev/null || true
}

# ser2net with an RFC 2217 port in front of the card, configured as the manual advises, its line
# at other settings than the card's (the program sets them); $port is the card's port name.
start_server() {
  local tcp
  while :; do
    tcp=$((40000 + RANDOM % 20000))
    grep -qi ":$(printf '%04X' "$tcp") " /proc/net/tcp || break
  done
  printf 'connection: &kx40\n  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,%s\n  connector: serialdev,%s,19200n81,local\n  options:\n    chardelay: false\n' \
    "$tcp" "$work/kx40" >"$work/ser2net.yaml"
  /usr/sbin/ser2net -n -u -c "$work/ser2net.yaml" >/dev/null 2>&1 &
  serverpid=$!
  for _ in $(seq 50); do grep -qi ":$(printf '%04X' "$tcp") .* 0A " /proc/net/tcp && break; sleep 0.1; done
  port=rfc2217://127.0.0.1:$tcp
}

stop_server() {
  kill "$serverpid"
  wait "$serverpid" 2>/dev/null || true
  serverpid=
}

# The relay in front of the server's port, $1 ms each way; $port becomes the relay's.
start_relay() {
  "$relay" "${port##*:}" "$1" >"$work/relay.out" &
  relaypid=$!
  for _ in $(seq 50); do [ -s "$work/relay.out" ] && break; sleep 0.1; done
  port=rfc2217://127.0.0.1:$(head -n 1 "$work/relay.out")
}

stop_relay() {
  kill "$relaypid"
  wait "$relaypid" 2>/dev/null || true
  relaypid=
}

# Rows of Get and Send, $runs of each, over the card's device or through ser2net (net), with a
# round trip of 40 ms (net40) or none worth counting.
worst=0
for way in local net net40; do
  [ "$way" != local ] && [ ! -x /usr/sbin/ser2net ] && { echo "ser2net is missing: no network rows (scripts/deps.sh installs it)"; continue; }
  [ "$way" = net40 ] && [ ! -x "$relay" ] && { echo "$relay is missing: no rows at 40 ms"; continue; }
  rtt=0
  for card in sid avm; do
    start_card "$card"
    port=$work/kx40
    [ "$way" != local ] && start_server
    [ "$way" = net40 ] && start_relay 20
    for run in $(seq "$runs"); do
      "$cli" get -o "$file" --port "$port" >/dev/null
      "$cli" send "$file" --port "$port" --no-backup --no-verify >/dev/null
    done
    if [ "$way" = net40 ]; then
      stop_relay
      # The round trip the relay really made: a busy computer adds to the delay asked for.
      rtt=$(sed -n 's/^mean delay \([0-9.]*\) ms$/\1/p' "$work/relay.out" | tail -n 1 | awk '{ printf "%.1f", 2 * $1 }')
    fi
    [ "$way" != local ] && stop_server
    stop_card
    # Connections alternate: get, send, get, send, ...
    n=0
    while read -r line; do
      kind=get
      [ $((n % 2)) -eq 1 ] && kind=send
      n=$((n + 1))
      label=$card
      [ "$way" = net ] && label="$card over ser2net (RFC 2217)"
      [ "$way" = net40 ] && label="$card over ser2net, 40 ms round trip"
      # connection: T ms for L ms of line time and P ms of pauses, N answers: ratio R
      ratio=$(echo "$line" | awk -v rtt="$rtt" '{ printf "%.3f", $2 / ($5 + $11 + $15 * rtt) }')
      printf '%-38s %-5s %s' "$label" "$kind" "${line#connection: }"
      [ "$way" = net40 ] && printf '; with %s ms a round trip: ratio %s' "$rtt" "$ratio"
      printf '\n'
      worst=$(awk -v a="$worst" -v b="$ratio" 'BEGIN { print (b > a) ? b : a }')
    done < <(grep '^connection:' "$work/sim.out")
  done
done
# A default Send: the card read for a backup, the send, the read-back; the command's wall time
# against the line time plus pauses of its three connections. The time each connection waited
# for the card to call with its SYN is the card's, as its flash write is (the simulated card calls
# 500 ms after a reset, and every 500 ms): the simulated card reports its wait after the host's
# closing SYN when the host answered its first call; before the first connection, quillon-cli
# --stats measures it from the port opening.
for card in sid avm; do
  start_card "$card"
  "$cli" get -o "$file" --port "$work/kx40" --no-backup >/dev/null
  sleep 0.3
  before=$(wc -l <"$work/sim.out")
  start=$(date +%s%N)
  "$cli" send "$file" --port "$work/kx40" --backup-dir "$work/backups" --stats >"$work/send.out"
  end=$(date +%s%N)
  first=$(sed -n "s/^link: card's SYN after \([0-9]*\) ms.*/\1/p" "$work/send.out" | head -n 1)
  stop_card
  tail -n +"$((before + 1))" "$work/sim.out" | grep -E '^(connection|card waited):' |
    awk -v wall=$(( (end - start) / 1000000 )) -v wait="${first:-0}" -v card="$card" '
      /^card waited:/ { if (connections > 0) wait += $3; next }
      { line += $5; pauses += $11; connections++ }
      END { printf "%-4s default send (backup, send, verify): %d ms, of which %d ms waiting for the card'"'"'s SYN, for %.1f ms of line time and pauses: ratio %.3f\n",
                   card, wall, wait, line + pauses, (wall - wait) / (line + pauses) }' | tee -a "$work/default.out"
done
while read -r line; do
  ratio=${line##* }
  worst=$(awk -v a="$worst" -v b="$ratio" 'BEGIN { print (b > a) ? b : a }')
done <"$work/default.out"
echo "worst ratio: $worst (at most 1.05 wanted)"
awk -v w="$worst" 'BEGIN { exit (w <= 1.05) ? 0 : 1 }'
