#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a cross-built Windows program under Wine: the emulator of the Windows build's tests.
#   wine-run.sh --qt=QT_PREFIX [--prefix=WINEPREFIX] PROGRAM.exe ARGS...
# WINEPREFIX from the environment wins over --prefix. With QUILLON_WINE_TEMPLATE set to a
# prefix, the program runs in a copy of it of its own, deleted afterwards: tests in parallel
# each have their own registry and user folders. Wine keeps variables named QT_* from Windows
# programs: they are handed on as WINEQT_*, which Wine passes as QT_*.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
qt="" prefix=""
while [[ "${1:-}" == --* ]]; do
    case "$1" in
    --qt=*) qt=${1#*=} ;;
    --prefix=*) prefix=${1#*=} ;;
    *) echo "wine-run.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
[[ -n "$qt" ]] || { echo "wine-run.sh: --qt=PREFIX is needed" >&2; exit 2; }
export WINEPREFIX=${WINEPREFIX:-$prefix}
if [[ -n "$WINEPREFIX" && ! -d "$WINEPREFIX" ]]; then
    (wine_new_prefix "$WINEPREFIX")
fi
while IFS='=' read -r name value; do
    [[ "$name" == QT_* ]] && export "WINE$name=$value"
done < <(env)
wine_env "$qt"
if [[ -z "${QUILLON_WINE_TEMPLATE:-}" ]]; then
    exec wine "$@"
fi
WINEPREFIX=$(mktemp -d "$QUILLON_WINE_TEMPLATE.run-XXXXXX")
wine_copy_prefix "$QUILLON_WINE_TEMPLATE" "$WINEPREFIX"
rc=0
wine "$@" || rc=$?
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
exit $rc
