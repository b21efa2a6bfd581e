#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The package version scripts/package.sh --print-version gives, in a repository of its own: the
# release at the release's commit, a newer version at every later commit and at the next release,
# counted from the release's tag where there is one; a release in debian/changelog that is not the
# project's version stops it. Usage: check-version.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
repo=$(mktemp -d)
trap 'rm -rf "$repo"' EXIT
mkdir -p "$repo/scripts" "$repo/debian"
cp "$source_dir/scripts/package.sh" "$repo/scripts/"
git() { command git -C "$repo" -c user.name=Tester -c user.email=tester@quillon.invalid "$@"; }
git init -q
commit() { echo "$1" >>"$repo/work"; git add -A; git commit -qm "$1"; }
hash() { git rev-parse --short=12 HEAD; }
release() { # VERSION: the project's version and its changelog entry
  echo "project(Quillon VERSION $1 LANGUAGES CXX)" >"$repo/CMakeLists.txt"
  { printf 'quillon (%s-1) unstable; urgency=medium\n\n  * Release %s.\n\n' "$1" "$1"
    printf ' -- Quillon developers <developers@quillon.invalid>  Tue, 08 Dec 2026 00:00:00 +0000\n\n'
    cat "$repo/debian/changelog" 2>/dev/null || true; } >"$repo/debian/changelog.new"
  mv "$repo/debian/changelog.new" "$repo/debian/changelog"
}
version() { bash "$repo/scripts/package.sh" --print-version; }

status=0
fail() { echo "FAIL: $*"; status=1; }
previous=
expect() { # WHAT VERSION: this version, newer than the one before
  local got
  got=$(version)
  echo "$1: $got"
  [ "$got" = "$2" ] || fail "$1: $got, not $2"
  if [ -n "$previous" ] && ! dpkg --compare-versions "$got" gt "$previous"; then
    fail "$1: $got is not newer than $previous"
  fi
  previous=$got
}

release 1.2.0
expect "release entry not committed yet" 1.2.0-1
commit "release 1.2.0"
previous=
expect "the release's commit" 1.2.0-1
commit "one fix"
expect "a commit later" "1.2.0+git1.$(hash)-1"
sed -i 's/Release 1.2.0\./Release 1.2.0, the first./' "$repo/debian/changelog"
commit "a word in the release's entry"
expect "a change to the entry counts on" "1.2.0+git2.$(hash)-1"
for n in 3 4 5 6 7 8 9 10; do commit "fix $n"; done
expect "ten commits later" "1.2.0+git10.$(hash)-1"
release 1.3.0
commit "release 1.3.0"
expect "the next release" 1.3.0-1
commit "after 1.3.0"
git tag v1.3.0
commit "after the tag"
previous=
expect "counted from the tag" "1.3.0+git1.$(hash)-1"

sed -i 's/VERSION 1.3.0/VERSION 1.4.0/' "$repo/CMakeLists.txt"
if message=$(version 2>&1); then
  fail "a version without its changelog entry gave $message"
else
  grep -q "add the release to debian/changelog" <<<"$message" || fail "the message: $message"
fi
exit "$status"
