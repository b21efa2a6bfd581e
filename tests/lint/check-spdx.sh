#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/spdx-headers.sh in a repository of its own: each kind of file gets the line in its
# comment form, after what must stay first; data files are left alone; a second run changes
# nothing; --check lists what lacks the line and fails only then. Usage: check-spdx.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
repo=$(mktemp -d)
trap 'rm -rf "$repo"' EXIT
mkdir -p "$repo/scripts" "$repo/src" "$repo/debian" "$repo/.ci"
cp "$source_dir/scripts/spdx-headers.sh" "$repo/scripts/"
tag='SPDX-License-Identifier: GPL-3.0-or-later'
# FILE|its first line|its second line after the script ran (the old first line, moved or kept)
cases=(
  "src/a.cpp|// $tag|#include <a>"
  "src/a.h|// $tag|#pragma once"
  "src/run.sh|#!/bin/sh|# $tag"
  ".ci/run|#!/usr/bin/env bash|# $tag"
  "debian/rules|#!/usr/bin/make -f|# $tag"
  "src/CMakeLists.txt|# $tag|add_library(a a.cpp)"
  "src/icon.svg|<!-- $tag -->|<svg/>"
  "src/types.xml|<?xml version=\"1.0\"?>|<!-- $tag -->"
  "src/manual.html|<!DOCTYPE html>|<!-- $tag -->"
  "src/a.1|.\\\" $tag|.TH A 1"
  "src/a.desktop|# $tag|[Desktop Entry]"
)
for c in "${cases[@]}"; do
  IFS='|' read -r file first second <<<"$c"
  # The file's original content: the line the header goes before or after.
  case "$file" in
    *.sh | */run | */rules | *.xml | *.html) printf '%s\nbody\n' "$first" >"$repo/$file" ;;
    *) printf '%s\nbody\n' "$second" >"$repo/$file" ;;
  esac
done
chmod +x "$repo/src/run.sh"
printf 'ON AIR\n' >"$repo/src/Studio.kxd"
printf '#!/bin/sh\n# SPDX-License-Identifier: MIT\n' >"$repo/src/own.sh"
git() { command git -C "$repo" -c user.name=Tester -c user.email=tester@quillon.invalid "$@"; }
git init -q
git add -A
git commit -qm files

status=0
fail() { echo "FAIL: $*"; status=1; }
spdx() { bash "$repo/scripts/spdx-headers.sh" "$@"; }
listed=$(spdx --check 2>/dev/null) && fail "--check passed with files lacking the line"
for c in "${cases[@]}"; do
  grep -qxF "${c%%|*}" <<<"$listed" || fail "--check did not list ${c%%|*}"
done
grep -qE 'Studio.kxd|own.sh' <<<"$listed" && fail "--check listed a data file or one with a line"
spdx
for c in "${cases[@]}"; do
  IFS='|' read -r file first second <<<"$c"
  [ "$(sed -n 1p "$repo/$file")" = "$first" ] || fail "$file begins: $(sed -n 1p "$repo/$file")"
  [ "$(sed -n 2p "$repo/$file")" = "$second" ] || fail "$file's second line: $(sed -n 2p "$repo/$file")"
  [ "$(sed -n 3p "$repo/$file")" = body ] || fail "$file lost its body"
done
[ -x "$repo/src/run.sh" ] || fail "run.sh is no longer executable"
git add -A
[ -z "$(git diff --cached --name-only -- src/Studio.kxd src/own.sh)" ] || fail "a data file or a file with its own licence line was changed"
spdx
[ -z "$(git diff --name-only)" ] || fail "a second run changed $(git diff --name-only)"
spdx --check >/dev/null || fail "--check fails after the script ran"
exit "$status"
