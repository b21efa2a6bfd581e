#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Windows installer, WINDOWS_BUILD_DIR/quillon-VERSION-setup.exe, with makensis: the
# programs, the DLLs they load (found by walking their import tables through Qt's and MinGW's
# folders), the Qt plugins of the modules they use, the manual, the licences.
#
#   installer.sh QT_PREFIX WINDOWS_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/windows/wine-env.sh"
qt=$1 out=$(realpath "$2")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/CMakeCache.txt")
stage="$out/installer/stage"
rm -rf "$out/installer" && mkdir -p "$stage"
search=("$qt/bin" "${mingw_runtime_dirs[@]}")

# The DLLs a program or DLL imports by name.
imports() {
    x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'
}
# A DLL of Qt or MinGW, by its name in any letter case; nothing for the system's own.
find_dll() {
    local dir
    for dir in "${search[@]}"; do
        find "$dir" -maxdepth 1 -iname "$1" -print -quit
    done | head -1
}
# Copies file $1 to $stage/$2, then every Qt or MinGW DLL it needs into the stage's top folder.
deploy() {
    local file=$1 dest=$2 dll found
    mkdir -p "$(dirname "$stage/$dest")"
    cp "$file" "$stage/$dest"
    for dll in $(imports "$file"); do
        [[ -e "$stage/$dll" ]] && continue
        found=$(find_dll "$dll")
        [[ -n "$found" ]] && deploy "$found" "$dll"
    done
    return 0
}

deploy "$out/src/app/gui/quillon.exe" quillon.exe
deploy "$out/tools/cli/quillon-cli.exe" quillon-cli.exe
# Plugins are loaded at run time, not imported: Windows' platform and style; the offscreen
# platform, on which quillon-cli lays out its PDF reports; the SVG icon engine and image format,
# for the program's icons (drawn from SVG files; they import Qt6Svg.dll, which the program
# itself does not). scripts/windows/test-installer.sh checks that the program started from the
# installed folder loads these and nothing from elsewhere.
plugins=(platforms/qwindows platforms/qoffscreen styles/qwindowsvistastyle imageformats/qico
         imageformats/qsvg iconengines/qsvgicon)
for plugin in "${plugins[@]}"; do
    deploy "$qt/plugins/$plugin.dll" "$plugin.dll"
done
mkdir -p "$stage/help"
cp "$here/docs/help/QuillonHelp.html" "$stage/help/"
cp "$out/src/app/gui/quillon.ico" "$stage/"
# Quillon's licence, and the licences of the libraries that come with it.
mkdir -p "$stage/licences"
cp "$here/LICENSE" "$stage/licences/Quillon-GPL-3.0.txt"
cp /usr/share/common-licenses/LGPL-3 "$stage/licences/Qt-LGPL-3.0.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licences/GCC-runtime-GPL-3.0.txt"
cat >"$stage/licences/README.txt" <<EOF
Quillon $version is free software under the GNU General Public License, version 3 or later
(Quillon-GPL-3.0.txt).

It comes with these libraries:
- Qt $(basename "$qt" | cut -d- -f2) (Qt6*.dll, the plugins): GNU Lesser General Public License
  version 3 (Qt-LGPL-3.0.txt). Source: https://download.qt.io/archive/qt/
- The GCC runtime (libstdc++-6.dll, libgcc_s_seh-1.dll): GNU General Public License version 3
  with the GCC Runtime Library Exception (GCC-runtime-GPL-3.0.txt).
- winpthreads (libwinpthread-1.dll), of the MinGW-w64 project: MIT licence.
EOF
# Windows line ends for the texts Notepad may show.
find "$stage/licences" -name '*.txt' -exec sed -i 's/\r\{0,1\}$/\r/' {} +

# What to install, and what to remove again (files first, then folders deepest first).
{
    (cd "$stage" && find . -mindepth 1 -type d | sort) | while read -r dir; do
        win=${dir#./}; echo "CreateDirectory \"\$INSTDIR\\${win//\//\\}\""
    done
    (cd "$stage" && find . -type f ! -name quillon.ico | sort) | while read -r file; do
        win=${file#./}; dir=$(dirname "$win")
        [[ "$dir" == . ]] && target='$INSTDIR' || target="\$INSTDIR\\${dir//\//\\}"
        echo "SetOutPath \"$target\""
        echo "File \"/oname=$(basename "$win")\" \"$stage/$win\""
    done
    echo 'SetOutPath "$INSTDIR"'
} >"$out/installer/files.nsh"
{
    (cd "$stage" && find . -type f ! -name quillon.ico | sort) | while read -r file; do
        win=${file#./}; echo "Delete \"\$INSTDIR\\${win//\//\\}\""
    done
    (cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
        win=${dir#./}; echo "RMDir \"\$INSTDIR\\${win//\//\\}\""
    done
} >"$out/installer/unfiles.nsh"

sed 's/\r\{0,1\}$/\r/' "$here/LICENSE" >"$out/installer/LICENSE.txt"
setup="$out/quillon-$version-setup.exe"
size_kb=$(du -sk "$stage" | cut -f1)
makensis -V2 -NOCD -DVERSION="$version" -DSTAGE="$stage" -DLICENSE="$out/installer/LICENSE.txt" \
    -DOUTFILE="$setup" -DSIZE_KB="$size_kb" -X"!addincludedir $out/installer" \
    "$here/packaging/windows/quillon.nsi"
echo "$(basename "$setup"): $(du -h "$setup" | cut -f1), $(find "$stage" -type f | wc -l) files" \
    "($(find "$stage" -name '*.dll' | wc -l) DLLs)"
