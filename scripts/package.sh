#!/usr/bin/env bash
# Builds a Release in build/release and makes the Debian package build/quillon_<version>_<arch>.deb
# with CPack. --check then checks it: contents, the installed programs, lintian.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
check=false
[ "${1:-}" = --check ] && check=true
if $check; then bash "$here/scripts/deps.sh" --packaging; else bash "$here/scripts/deps.sh"; fi

release=$here/build/release
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
# Debian's own compiler and linker flags (hardening included), without debugging information:
# the package's programs are stripped anyway.
cd "$here"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
cmake -S "$here" -B "$release" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUILLON_BUILD_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$release" -j2

rm -f "$release"/packages/*.deb
(cd "$release" && cpack -G DEB -B "$release/packages" >/dev/null)
debs=("$release"/packages/*.deb)
mv "${debs[0]}" "$here/build/"
deb=$here/build/$(basename "${debs[0]}")
echo "$deb"
if $check; then bash "$here/tests/packaging/check-deb.sh" "$deb"; fi
