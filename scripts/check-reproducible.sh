#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shows that the packages are reproducible: builds the commit's packages a second time from a
# clone in another folder (another depth and name, another time zone, umask and file times) and
# compares every .deb byte for byte with those in build/deb, which scripts/package.sh makes first
# when they are missing or not of this commit. The work tree must be committed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
[ -z "$(git -C "$here" status --porcelain --untracked-files=no)" ] ||
  { echo "check-reproducible.sh: commit your changes first: only a commit can be built twice" >&2; exit 2; }
commit=$(git -C "$here" rev-parse HEAD) # the one both builds are of, whatever is committed meanwhile
version=$(bash "$here/scripts/package.sh" --print-version)
arch=$(dpkg --print-architecture)
[ -f "$here/build/deb/quillon_${version}_$arch.changes" ] || bash "$here/scripts/package.sh" >/dev/null
[ "$(git -C "$here" rev-parse HEAD)" = "$commit" ] ||
  { echo "check-reproducible.sh: HEAD moved while the packages were built: run it again" >&2; exit 2; }

other=$(mktemp -d /var/tmp/quillon-reproducible.XXXXXX)
trap 'rm -rf "$other"' EXIT
clone=$other/another/place/q
git clone -q --no-hardlinks "$here" "$clone"
git -C "$clone" checkout -q "$commit"
echo "Building $version again in $clone"
(cd "$clone" && umask 0002 && TZ=Pacific/Auckland bash scripts/package.sh >/dev/null)

status=0
count=0
for deb in "$here"/build/deb/*.deb; do
  name=$(basename "$deb")
  again=$clone/build/deb/$name
  if [ ! -f "$again" ]; then
    echo "FAIL: $name was not built again"; status=1; continue
  fi
  first=$(sha256sum <"$deb" | cut -d' ' -f1)
  second=$(sha256sum <"$again" | cut -d' ' -f1)
  if [ "$first" = "$second" ]; then
    echo "same     $first  $name"
  else
    echo "DIFFERS  $first $second  $name (diffoscope shows how)"; status=1
  fi
  count=$((count + 1))
done
[ "$count" -gt 0 ] || { echo "FAIL: no packages compared"; status=1; }
[ "$status" = 0 ] && echo "$count packages of $version: byte for byte the same from $here and $clone"
exit "$status"
