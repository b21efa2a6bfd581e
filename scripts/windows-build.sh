#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Quillon for Windows, built and tested on Debian: cross-builds Qt (cached outside the checkout),
# then quillon.exe, quillon-cli.exe and the tests with mingw-w64; runs the tests under Wine,
# Get and Send against the simulated card on a COM port, makes the NSIS installer and tries it
# in a fresh Wine prefix.
#
#   windows-build.sh [--third-party DIR] [--no-tests] [--no-e2e] [--no-installer]
#
# DIR: a folder of Qt module source archives (qtserialport, qtsvg) for when apt-get source
# cannot fetch them. Output: build-win/ (the programs, test results, the installer
# quillon-VERSION-setup.exe). Wine runs in throw-away prefixes under build-win/wine/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
third_party=() tests=1 e2e=1 installer=1
while (($#)); do
    case "$1" in
    --third-party) third_party=(--third-party "$2"); shift 2 ;;
    --third-party=*) third_party=(--third-party "${1#*=}"); shift ;;
    --no-tests) tests=0; shift ;;
    --no-e2e) e2e=0; shift ;;
    --no-installer) installer=0; shift ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "windows-build.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
out="$here/build-win"
steps=()
step() {  # name, command...: runs it, timed, and remembers the result for the summary
    local name=$1 start=$SECONDS rc=0; shift
    echo "== $name" >&2
    "$@" || rc=$?
    steps+=("$(printf '%-34s %5d s  %s' "$name" $((SECONDS - start)) "$([[ $rc == 0 ]] && echo ok || echo "FAILED ($rc)")")")
    return $rc
}
summary() {
    echo >&2
    echo "Windows build summary:" >&2
    printf '  %s\n' "${steps[@]}" >&2
}
trap summary EXIT

deps() {
    bash "$here/scripts/deps.sh" g++-mingw-w64-x86-64-posix wine wine64 nsis ninja-build \
        libgtest-dev qt6-base-dev-tools xvfb openbox imagemagick
}

linux_sim() {  # the simulated card runs on Linux, on a pseudo-terminal Wine maps to a COM port
    export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
    [[ -f "$here/build/CMakeCache.txt" ]] || cmake -S "$here" -B "$here/build" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
    nice -n 5 cmake --build "$here/build" -j2 --target kx40-sim
}

cross_build() {
    export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
    local emulator="$here/scripts/windows/wine-run.sh;--qt=$qt;--prefix=$out/wine/default"
    local toolchain="$qt/lib/cmake/Qt6/qt.toolchain.cmake"
    # Another Qt (a new cache key): configured afresh, else the cache would keep the old one's.
    if [[ -f "$out/CMakeCache.txt" ]] && ! grep -q "^CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain$" "$out/CMakeCache.txt"; then
        rm -rf "$out/CMakeCache.txt" "$out/CMakeFiles"
    fi
    cmake -G Ninja -S "$here" -B "$out" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" >/dev/null
    nice -n 5 cmake --build "$out" -j2
}

step "packages" deps
step "Qt for Windows (cached)" bash "$here/scripts/windows/qt.sh" "${third_party[@]}" >/dev/null
qt=$(bash "$here/scripts/windows/qt.sh" --prefix)
step "kx40-sim (Linux)" linux_sim
step "quillon.exe, quillon-cli.exe, tests" cross_build
status=0
if ((tests)); then
    step "tests under Wine" bash "$here/scripts/windows/test.sh" "$qt" "$out" || status=1
fi
if ((e2e)); then
    step "Get and Send on a COM port" bash "$here/scripts/windows/e2e.sh" "$qt" "$out" \
        "$here/build/tools/sim/kx40-sim" || status=1
fi
if ((installer)); then
    step "installer" bash "$here/scripts/windows/installer.sh" "$qt" "$out" || status=1
    step "installer under Wine" bash "$here/scripts/windows/test-installer.sh" "$qt" "$out" \
        "$here/build/tools/sim/kx40-sim" || status=1
fi
exit $status
