#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian packages quillon (quillon, quillon-cli) and quillon-simulator (kx40-sim), with
# their debug symbols, from debian/ with debhelper: dpkg-buildpackage on a copy of the work tree.
# They are left with their .changes in build/deb/. The tests are not run again (DEB_BUILD_OPTIONS
# nocheck; scripts/test.sh runs them).
#   --check          then checks them: lintian (pedantic) on the .changes, contents, the programs
#   --print-version  prints the package version the work tree gets, and builds nothing
# The version is the latest release in debian/changelog, which must be the project's version;
# a commit after the release adds "+git<N>.<commit>" (N commits since the release, so a later
# commit is a newer package) in a changelog entry written into the copy only. The release is tag
# v<version> where it exists, else the commit that added its changelog entry.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-build}
case "$mode" in
  build | --check | --print-version) ;;
  *) echo "usage: scripts/package.sh [--check | --print-version]" >&2; exit 2 ;;
esac

die() { echo "package.sh: $*" >&2; exit 1; }
in_git() { git -C "$here" rev-parse --is-inside-work-tree >/dev/null 2>&1; }

# The commits since the release and the commit, "N HASH"; nothing outside a git clone or before
# the release's changelog entry is committed.
commits_since_release() {
  local upstream=$1 release=$2 described base
  in_git || return 0
  if described=$(git -C "$here" describe --tags --long --abbrev=12 --match "v$upstream" 2>/dev/null); then
    described=${described#v"$upstream"-}
    echo "${described%-g*} ${described##*-g}"
    return
  fi
  base=$(git -C "$here" log -1 --format=%H -S"quillon ($release)" -- debian/changelog 2>/dev/null)
  [ -n "$base" ] || return 0
  echo "$(git -C "$here" rev-list --count "$base..HEAD") $(git -C "$here" rev-parse --short=12 HEAD)"
}

package_version() {
  local release upstream project since
  release=$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)
  upstream=${release%-*}
  project=$(sed -n 's/^project(Quillon VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
  [ "$upstream" = "$project" ] ||
    die "debian/changelog's latest release is $upstream, CMakeLists.txt's version $project: add the release to debian/changelog"
  since=$(commits_since_release "$upstream" "$release")
  if [ -z "$since" ] || [ "${since% *}" = 0 ]; then
    echo "$release"
  else
    echo "$upstream+git${since% *}.${since#* }-${release##*-}"
  fi
}

# The work tree as git sees it (uncommitted changes included, ignored files not), or all of it
# but the build folders outside a git clone.
copy_tree() {
  mkdir -p "$1"
  if in_git; then
    (cd "$here" && git ls-files -z --cached --others --exclude-standard --deduplicate |
      while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
      tar --null -T - -cf -) | tar -xf - -C "$1"
  else
    (cd "$here" && tar --exclude='./build*' -cf - .) | tar -xf - -C "$1"
  fi
}

# A snapshot entry on top of the copy's changelog, dated and signed like the commit's release:
# its date (the commit's) becomes SOURCE_DATE_EPOCH, the time stamp of every file packed.
add_snapshot_entry() {
  local changelog=$1 version=$2 release maintainer date count
  release=$(dpkg-parsechangelog -l "$changelog" -S Version)
  maintainer=$(dpkg-parsechangelog -l "$changelog" -S Maintainer)
  date=$(TZ=UTC LC_ALL=C date -R -d "@$(git -C "$here" log -1 --format=%ct)")
  count=${version#*+git}
  count=${count%%.*}
  {
    echo "quillon ($version) unstable; urgency=medium"
    echo
    echo "  * Snapshot of commit $(git -C "$here" rev-parse --short=12 HEAD), $count commits after release ${release%-*}."
    echo
    echo " -- $maintainer  $date"
    echo
    cat "$changelog"
  } >"$changelog.new"
  mv "$changelog.new" "$changelog"
}

version=$(package_version)
if [ "$mode" = --print-version ]; then
  echo "$version"
  exit 0
fi
if [ "$mode" = --check ]; then bash "$here/scripts/deps.sh" --packaging; else bash "$here/scripts/deps.sh" debhelper; fi

out=$here/build/deb
source=$out/source/quillon
rm -rf "$out"
copy_tree "$source"
[ "$version" = "$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)" ] ||
  add_snapshot_entry "$source/debian/changelog" "$version"

echo "Building the Debian packages $version (log: build/deb/build.log)"
export DEB_BUILD_OPTIONS="nocheck parallel=2 ${DEB_BUILD_OPTIONS:-}"
if command -v ccache >/dev/null; then
  # Rebuilds in the same folder are nearly free; the packages are the same with or without it.
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$source CCACHE_NOHASHDIR=1
fi
if ! (cd "$source" && dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1; then
  tail -n 40 "$out/build.log" >&2
  die "dpkg-buildpackage failed: see $out/build.log"
fi
mv "$out"/source/*.deb "$out"/source/*.ddeb "$out"/source/*.changes "$out"/source/*.buildinfo "$out/" 2>/dev/null || true
rm -rf "$out/source"
changes=$(echo "$out"/quillon_*.changes)
[ -f "$changes" ] || die "no .changes in $out"
ls "$out"/*.deb
if [ "$mode" = --check ]; then bash "$here/tests/packaging/check-deb.sh" "$changes"; fi
