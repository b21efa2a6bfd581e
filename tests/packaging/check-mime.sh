#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the file types: shared-mime-info reads the definitions, .kxd names a SID set-up (a text
# file), .kxm an AVM image, and every type the menu entry opens is defined.
# Usage: check-mime.sh MIME_XML DESKTOP_ENTRY
set -euo pipefail
xml=$1
desktop=$2
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
db=$data/mime
mkdir -p "$db/packages"
cp "$xml" "$db/packages/"
errors=$(XDG_DATA_HOME=$data update-mime-database "$db" 2>&1 >/dev/null)
[ -z "$errors" ] || { echo "update-mime-database: $errors"; exit 1; }
status=0
expect() { grep -qxF "$2" "$db/$1" || { echo "FAIL: no \"$2\" in $1"; status=1; }; }
expect globs2 '50:application/x-quillon-sid-setup:*.kxd'
expect globs2 '50:application/x-quillon-avm-image:*.kxm'
expect subclasses 'application/x-quillon-sid-setup text/plain'
grep -q '^application/x-quillon-avm-image text/plain' "$db/subclasses" &&
  { echo "FAIL: the AVM image is binary, not text"; status=1; }
opened=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' '\n' | grep .)
[ -n "$opened" ] || { echo "FAIL: the menu entry opens no file type"; status=1; }
for type in $opened; do
  expect types "$type"
done
exit $status
