#!/usr/bin/env bash
# Builds the program and shows the factory default set-up with the command-line tool.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/build/tools/cli/quillon-cli" defaults -o "$work/Defaults.kxd"
"$here/build/tools/cli/quillon-cli" show "$work/Defaults.kxd"
