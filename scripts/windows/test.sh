#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the Windows build's tests under Wine through ctest, on the
# offscreen platform, each suite in a throw-away Wine prefix of its own. (The tests that need a
# POSIX pseudo-terminal are Linux's alone.)
#
#   test.sh QT_PREFIX WINDOWS_BUILD_DIR [CTEST_ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
qt=$1 out=$(realpath "$2"); shift 2
unset DISPLAY
# Every suite runs in a copy of this prefix (wine-run.sh).
(wine_new_prefix "$out/wine/tests")
export QUILLON_WINE_TEMPLATE="$out/wine/tests"
cd "$out"
# Now and then Wine fails to start a program in a fresh copy of the prefix (it ends at once,
# printing nothing): a suite that fails is run once more, and fails the run if it fails again.
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --repeat until-pass:2 "$@"
