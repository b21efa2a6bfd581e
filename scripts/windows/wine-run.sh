#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: the emulator of the Windows build's tests.
#   wine-run.sh --qt=QT_PREFIX [--prefix=WINEPREFIX] PROGRAM.exe ARGS...
# WINEPREFIX from the environment wins over --prefix. Wine keeps variables named QT_* from
# Windows programs: they are handed on as WINEQT_*, which Wine passes as QT_*.
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
exec wine "$@"
