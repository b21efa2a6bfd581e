#!/usr/bin/env bash
# Checks the Debian package: its control fields, that it holds every file the desktop needs, that
# the programs run from an unpacked copy (dpkg -x), and lintian's verdict where lintian is
# installed. Usage: check-deb.sh DEB [APP_ID]. Exits 77 (skipped) when DEB does not exist or is
# older than the packaging files: scripts/package.sh makes it.
set -euo pipefail
deb=$1
id=${2:-org.quillon.Quillon}
[ -f "$deb" ] || { echo "no $deb (scripts/package.sh makes it): skipped"; exit 77; }
packaging=$(cd "$(dirname "$0")/../../packaging" && pwd)
if [ -n "$(find "$packaging" -newer "$deb" -print -quit)" ]; then
  echo "$deb is older than $packaging (scripts/package.sh makes it again): skipped"
  exit 77
fi
status=0
fail() { echo "FAIL: $*"; status=1; }

field() { dpkg-deb -f "$deb" "$1"; }
version=$(field Version)
[ "$(field Package)" = quillon ] || fail "package name $(field Package)"
[ "$(field Section)" = video ] || fail "section $(field Section)"
[[ "$(field Maintainer)" =~ ^[^@]+\ \<[^@\ ]+@[^@\ ]+\>$ ]] || fail "maintainer $(field Maintainer)"
[ "$(field Description | wc -l)" -gt 2 ] || fail "no long description"
# shlibdeps found the libraries; the SVG plugins are named by hand.
depends=$(field Depends | tr ',' '\n' | awk '{print $1}')
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6svg6; do
  grep -qxF "$library" <<<"$depends" || fail "Depends lacks $library: $(field Depends)"
done

listing=$(dpkg -c "$deb" | awk '{print $6}')
share=./usr/share
for file in ./usr/bin/quillon ./usr/bin/quillon-cli ./usr/bin/kx40-sim \
  $share/applications/$id.desktop $share/metainfo/$id.metainfo.xml $share/mime/packages/$id.xml \
  $share/icons/hicolor/scalable/apps/$id.svg $share/icons/hicolor/48x48/apps/$id.png \
  $share/icons/hicolor/256x256/apps/$id.png $share/doc/quillon/html/QuillonHelp.html \
  $share/doc/quillon/copyright $share/doc/quillon/changelog.Debian.gz \
  $share/man/man1/quillon.1.gz $share/man/man1/quillon-cli.1.gz $share/man/man1/kx40-sim.1.gz; do
  grep -qxF "$file" <<<"$listing" || fail "the package lacks $file"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root/install"
bin=$root/install/usr/bin
grep -q '^usage: quillon-cli COMMAND' <<<"$("$bin/quillon-cli" --help)" || fail "quillon-cli --help"
grep -q '^A simulated KX40 card' <<<"$("$bin/kx40-sim" --help)" || fail "kx40-sim --help"
[ "$("$bin/quillon-cli" --version)" = "quillon-cli ${version%-*}" ] ||
  fail "quillon-cli --version is not the package's ${version%-*}"
for size in 48 256; do
  [[ "$(file "$root/install/usr/share/icons/hicolor/${size}x$size/apps/$id.png")" == \
    *"PNG image data, $size x $size,"* ]] || fail "the $size px icon"
done
[[ "$(zcat "$root/install/usr/share/doc/quillon/changelog.Debian.gz")" == "quillon ($version) "* ]] ||
  fail "the changelog does not begin with $version"

# The menu entry's command: the desktop program starts with a set-up file and keeps running
# (timeout's 124) instead of failing on a missing library or plugin.
grep -qx 'Exec=quillon %f' "$root/install/usr/share/applications/$id.desktop" || fail "Exec line"
"$bin/quillon-cli" defaults -o "$root/Studio.kxd" >/dev/null
started=0
mkdir -m 700 "$root/runtime"
XDG_CONFIG_HOME=$root/config XDG_DATA_HOME=$root/data XDG_RUNTIME_DIR=$root/runtime \
  QT_QPA_PLATFORM=offscreen timeout 3 "$bin/quillon" "$root/Studio.kxd" 2>"$root/quillon.err" ||
  started=$?
[ "$started" = 124 ] || fail "quillon FILE ended at once (status $started): $(cat "$root/quillon.err")"

if command -v lintian >/dev/null; then
  lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" || fail "lintian reports errors"
else
  echo "lintian is not installed: not run (scripts/deps.sh --packaging installs it)"
fi
[ "$status" = 0 ] && echo "$deb: OK"
exit "$status"
