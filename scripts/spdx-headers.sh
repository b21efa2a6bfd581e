#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence's SPDX line at the top of every source file that lacks it, in the comment form
# of the file's kind (after a #! line, an XML declaration or a doctype), and leaves every other
# file alone: data, pictures, the licence text and Debian's own files. Running it twice changes
# nothing. --check changes nothing either: it lists the files without the line and fails if any.
# The files are those git knows or would add (ignored files are left out).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tag='SPDX-License-Identifier: GPL-3.0-or-later'
check=false
case "${1:-}" in
  --check) check=true ;;
  "") ;;
  *) echo "usage: scripts/spdx-headers.sh [--check]" >&2; exit 2 ;;
esac

# The SPDX line for FILE in its comment form; nothing for a file that takes none.
header_for() {
  case "$1" in
    *.cpp | *.h | *.rc) echo "// $tag" ;;
    *.sh | *.cmake | *.pl | *.py | */CMakeLists.txt | CMakeLists.txt | *.desktop | .ci/run | debian/rules)
      echo "# $tag" ;;
    *.xml | *.xml.in | *.svg | *.qrc | *.html) echo "<!-- $tag -->" ;;
    *.1) echo ".\\\" $tag" ;;
  esac
}

# Lines that must stay first: an interpreter line, an XML declaration, a doctype.
stays_first() {
  head -n 1 "$1" | grep -qE '^(#!|<\?xml|<!DOCTYPE)'
}

missing=0
cd "$here"
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue
  header=$(header_for "$file")
  [ -n "$header" ] || continue
  head -n 5 "$file" | grep -qF "SPDX-License-Identifier:" && continue
  if $check; then
    echo "$file"
    missing=$((missing + 1))
    continue
  fi
  if stays_first "$file"; then
    { head -n 1 "$file"; echo "$header"; tail -n +2 "$file"; } >"$file.spdx"
  else
    { echo "$header"; cat "$file"; } >"$file.spdx"
  fi
  chmod --reference="$file" "$file.spdx"
  mv "$file.spdx" "$file"
done < <(git ls-files -z --cached --others --exclude-standard --deduplicate)
if $check && [ "$missing" -gt 0 ]; then
  echo "$missing files lack the line \"$tag\": scripts/spdx-headers.sh adds it" >&2
  exit 1
fi
exit 0
