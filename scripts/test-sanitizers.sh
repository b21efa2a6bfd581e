#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs
# every test there; any sanitizer report fails the run, also one from a program a test started.
# Built with the system's own clang (Debian 12: clang 14, Debian 13: clang 19; installed here
# when missing), the same build holds the libFuzzer targets, and their short fixed-seed runs are
# among the tests (label "fuzz"). Where clang cannot be installed it builds with GCC and leaves
# fuzzing out.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-asan
bash "$here/scripts/deps.sh"
# clang and libclang-rt-dev are the release's default version: clang++ names it.
bash "$here/scripts/deps.sh" clang libclang-rt-dev || echo "clang could not be installed" >&2
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1

options=(-DCMAKE_BUILD_TYPE=Sanitized "-DCMAKE_CXX_FLAGS_SANITIZED=-O1 -g1"
         -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if command -v clang++ >/dev/null; then
  options+=(-DCMAKE_CXX_COMPILER=clang++ -DQUILLON_FUZZ=ON "-DQUILLON_FUZZ_SECONDS=${QUILLON_FUZZ_SECONDS:-20}")
else
  echo "clang++ not found: sanitizers with GCC, no fuzz targets" >&2
  options+=(-DCMAKE_CXX_COMPILER=g++ -DQUILLON_SANITIZE=ON)
fi
cmake -S "$here" -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j2

reports=$build/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
# Reports go to files as well as failing the program, so that none is lost in a child process
# whose exit code a test does not look at.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:log_path=$reports/asan"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"
export QT_QPA_PLATFORM=offscreen
status=0
(cd "$build" && ctest --output-on-failure -j2 --timeout 300) || status=$?
if compgen -G "$reports/*" >/dev/null; then
  echo "Sanitizer reports:" >&2
  for report in "$reports"/*; do
    echo "== $report" >&2
    cat "$report" >&2
  done
  status=1
fi
exit "$status"
