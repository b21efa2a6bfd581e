#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves the README's commands on a clean Debian release: builds and runs every test
# (scripts/test.sh), makes and checks the packages (scripts/package.sh --check), installs them
# with apt (without recommended packages) and starts the programs, all inside a fresh chroot.
# Usage, as root: scripts/test-in-chroot.sh bookworm|trixie
#
# The release is debootstrapped once into $QUILLON_CHROOTS/RELEASE-base (default
# /var/tmp/quillon-chroots, outside the checkout); each run works in a fresh copy of it, with the
# checkout's committed HEAD cloned in, the downloaded packages kept in RELEASE-apt-cache and the
# compiler's cache in RELEASE-ccache (it only makes a second run faster).
# The copy is kept after a failure for a look inside, removed after a success.
set -euo pipefail
release=${1:-}
case "$release" in
  bookworm | trixie) ;;
  *) echo "usage: scripts/test-in-chroot.sh bookworm|trixie" >&2; exit 2 ;;
esac
[ "$(id -u)" = 0 ] || { echo "test-in-chroot.sh: run it as root (debootstrap, chroot, mounts)" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
chroots=${QUILLON_CHROOTS:-/var/tmp/quillon-chroots}
mirror=${QUILLON_MIRROR:-http://deb.debian.org/debian}
base=$chroots/$release-base
cache=$chroots/$release-apt-cache
root=$chroots/$release-run
started=$(date +%s)
say() { echo "== $release, $(( $(date +%s) - started )) s: $*"; }

command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap
mkdir -p "$chroots" "$cache" "$chroots/$release-ccache"
if [ ! -x "$base/bin/bash" ]; then
  say "debootstrap into $base"
  rm -rf "$base.tmp"
  debootstrap --variant=minbase --include=git,ca-certificates "$release" "$base.tmp" "$mirror" \
    >"$chroots/$release-debootstrap.log"
  mv "$base.tmp" "$base"
fi

mounts=(proc sys dev dev/pts var/cache/apt/archives root/.cache/ccache)
unmount_all() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    mountpoint -q "$root/${mounts[i]}" && umount -l "$root/${mounts[i]}"
  done
  return 0
}
# Nothing is removed while anything is mounted below the copy.
remove_copy() {
  unmount_all
  if findmnt -rno TARGET | grep -q "^$root/"; then
    echo "test-in-chroot.sh: something is still mounted below $root: not removed" >&2
    return 1
  fi
  rm -rf "$root"
}
[ ! -e "$root" ] || remove_copy
say "a fresh copy of $base"
cp -a "$base" "$root"
trap 'unmount_all' EXIT
mount -t proc proc "$root/proc"
mount --bind /sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount --bind "$cache" "$root/var/cache/apt/archives"
mkdir -p "$root/root/.cache/ccache"
mount --bind "$chroots/$release-ccache" "$root/root/.cache/ccache"
cp /etc/resolv.conf "$root/etc/resolv.conf"
commit=$(git -C "$here" rev-parse --short=12 HEAD)
git clone -q "$here" "$root/srv/quillon"
git -C "$root/srv/quillon" checkout -q "$commit"
[ -z "$(git -C "$here" status --porcelain --untracked-files=no)" ] ||
  echo "note: uncommitted changes in $here are not part of this run"

# Runs a command in the chroot as a user would, in the clone, with a clean environment. The clone
# is where any user may read it (tests run programs as nobody).
inside() {
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    TERM=dumb DEBIAN_FRONTEND=noninteractive bash -c "cd /srv/quillon && $1"
}

# One step: its output in $chroots/RELEASE-STEP.log, the last lines shown; a failure ends the run.
step() { # NAME COMMAND
  local log=$chroots/$release-$1.log
  say "$2"
  if ! inside "$2" >"$log" 2>&1; then
    tail -n 40 "$log"
    say "FAILED: $2 (log: $log)"
    exit 1
  fi
  tail -n "${3:-3}" "$log"
}
step test 'bash scripts/test.sh'
tests=$(grep -E '^[0-9]+% tests passed' "$chroots/$release-test.log" | tail -n 1)
step package 'bash scripts/package.sh --check' 8
step install 'apt-get install -y -q --no-install-recommends ./build/deb/quillon_*.deb ./build/deb/quillon-simulator_*.deb'
step installed 'bash tests/packaging/check-deb.sh build/deb'
version=$(inside 'dpkg-query -W -f="\${Version}" quillon')
answer=$(inside 'quillon --version && quillon-cli --version && kx40-sim --version')

trap - EXIT
remove_copy
minutes=$(( ($(date +%s) - started + 59) / 60 ))
echo "$release: $tests (scripts/test.sh)"
echo "$release: quillon $version and quillon-simulator built, checked by lintian, installed and started: $(tr '\n' ' ' <<<"$answer")"
echo "$release: all done in $minutes min"
