#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual page keeps up with the program: every command and option its --help names is
# described. Usage: check-man.sh PROGRAM MAN_PAGE
set -euo pipefail
program=$1
page=$2
help=$(QT_QPA_PLATFORM=offscreen "$program" --help 2>/dev/null)
# troff writes a hyphen as \-
text=$(sed 's/\\-/-/g' "$page")
status=0
for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
  grep -qF -- "$option" <<<"$text" || { echo "FAIL: $option is not in $page"; status=1; }
done
for command in $(sed -n 's/^  \([a-z]\+\)\( .*\)\?$/\1/p' <<<"$help"); do
  grep -qE "^\.(B|BI|TP)? ?\"?\\\\?f?B?$command\b|^\\\\fB$command\\\\fR|^\.BI? \"?$command" "$page" ||
    { echo "FAIL: command $command is not in $page"; status=1; }
done
exit $status
