#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds Qt for 64-bit Windows (shared DLLs, only the modules Quillon uses) and keeps the
# installed result outside the checkout, under a key made of the source versions, the toolchain
# and the flags. A second run with the same key takes seconds.
#
#   qt.sh [--third-party DIR]   build when missing; prints the installed prefix last
#   qt.sh --prefix              prints the prefix; exit status 0 when it is built, 1 when not,
#                               2 when qtbase is but a module is not (rebuilt alone, in minutes)
#
# qtbase comes from Debian's source package (the same release as the host tools, which the cross
# build uses); qtserialport and qtsvg from Debian's source packages too, or from the source
# archives in DIR when the archive does not serve them. The prefix's key covers qtbase; each
# module is installed into it with a stamp of its own (its version and the patches applied to
# it), so a changed patch rebuilds that module alone.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
third_party=""
mode=build
while (($#)); do
    case "$1" in
    --third-party) third_party=$(cd "$2" && pwd); shift 2 ;;
    --third-party=*) third_party=$(cd "${1#*=}" && pwd); shift ;;
    --prefix) mode=prefix; shift ;;
    *) echo "qt.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

cache_root() {
    if [[ -n "${QUILLON_CACHE:-}" ]]; then echo "$QUILLON_CACHE"
    elif mkdir -p /var/cache/quillon 2>/dev/null && [[ -w /var/cache/quillon ]]; then echo /var/cache/quillon
    else echo "${XDG_CACHE_HOME:-$HOME/.cache}/quillon"; fi
}
root="$(cache_root)/windows-qt"
toolchain="$here/cmake/mingw-w64-x86_64.cmake"
host_cmake=/usr/lib/x86_64-linux-gnu/cmake

# The host tools (moc, rcc, uic) are Debian's; the target Qt must be the very same release.
qtbase_version=$(dpkg-query -W -f '${source:Version}' qt6-base-dev-tools 2>/dev/null || true)
if [[ -z "$qtbase_version" ]]; then
    echo "qt.sh: qt6-base-dev-tools is not installed (the cross build runs Debian's moc, rcc, uic)" >&2
    exit 1
fi
upstream=${qtbase_version%%+*}  # 6.4.2+dfsg-10 -> 6.4.2
upstream=${upstream%%-*}

# Every switch that changes the result; part of the cache key.
qtbase_flags=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_icu=OFF
    # The Debian repack removed wintab; tablet events are not needed.
    -DFEATURE_tabletevent=OFF
    # Debian's cross.patch makes androiddeployqt look buildable.
    -DFEATURE_androiddeployqt=OFF
    # The offscreen platform plugin (tests) is built only with freetype.
    -DFEATURE_freetype=ON
    # Bundled libraries, not the host's or mingw's, so the DLL set is Qt's alone.
    -DFEATURE_system_freetype=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF
    # qwindows does not link in 6.4.2 with direct2d off and directwrite3 on.
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
)
toolchain_id() {
    x86_64-w64-mingw32-g++-posix --version | head -1
    dpkg-query -W -f '${Package} ${Version}\n' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
        binutils-mingw-w64-x86-64 2>/dev/null
    grep -v -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$toolchain"  # its settings, not its comments
}
key_text() {
    echo "stage 1"
    echo "qtbase $qtbase_version"
    echo "qtserialport $upstream"
    echo "qtsvg $upstream"
    toolchain_id
    printf '%s\n' "${qtbase_flags[@]}"
}
key="qt-$upstream-$(key_text | sha256sum | cut -c1-16)"
prefix="$root/$key"

modules=(qtserialport qtsvg)
# Patches to a module's sources, applied in the order listed: scripts/windows/<module>-*.patch.
module_patches() {
    compgen -G "$here/scripts/windows/$1-*.patch" | sort || true
}
module_stamp() {
    echo "$1 $upstream"
    local patch
    for patch in $(module_patches "$1"); do sha256sum "$patch" | cut -c1-16; done
}
stale_modules() {
    local module
    for module in "${modules[@]}"; do
        cmp -s <(module_stamp "$module") "$prefix/.module-$module" 2>/dev/null || echo "$module"
    done
}

if [[ "$mode" == prefix ]]; then
    echo "$prefix"
    [[ -f "$prefix/.complete" ]] || exit 1
    [[ -z "$(stale_modules)" ]] || exit 2
    exit 0
fi
if [[ -f "$prefix/.complete" && -z "$(stale_modules)" ]]; then
    echo "Cross-built Qt $upstream found in the cache: $prefix" >&2
    echo "$prefix"
    exit 0
fi

work="$root/work-$key"
mkdir -p "$work/src"
log="$work/build.log"
if [[ -f "$prefix/.complete" ]]; then
    rebuild=($(stale_modules))
    echo "Cross-building Qt's ${rebuild[*]} for Windows into $prefix (log: $log)" >&2
else
    rebuild=()
    echo "Cross-building Qt $upstream for Windows into $prefix (log: $log)" >&2
fi

# apt-get source needs deb-src lines for the same archive and suites as the deb lines.
ensure_deb_src() {
    if apt-cache showsrc qt6-base 2>/dev/null | grep -q "^Version: $qtbase_version$"; then return; fi
    local list=/etc/apt/sources.list.d/debian.sources
    if [[ -f "$list" ]] && ! [[ -f /etc/apt/sources.list.d/quillon-deb-src.sources ]]; then
        sed 's/^Types: deb$/Types: deb-src/' "$list" >/etc/apt/sources.list.d/quillon-deb-src.sources
    fi
    apt-get update -qq >&2
}

# Unpacks source package $1 (version $2) into $work/src/$3, or the archive matching $4 from
# the third-party folder when the archive does not serve it.
fetch_source() {
    local package=$1 version=$2 dir=$3 archive_glob=$4
    [[ -d "$work/src/$dir" ]] && return
    local tmp="$work/src/tmp-$dir"
    rm -rf "$tmp" && mkdir -p "$tmp"
    if (cd "$tmp" && apt-get source -qq "$package${version:+=$version}" >&2 2>>"$log"); then
        mv "$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -1)" "$work/src/$dir"
    elif [[ -n "$third_party" ]] && compgen -G "$third_party/$archive_glob" >/dev/null; then
        echo "apt-get source $package failed; using $(basename "$third_party"/$archive_glob)" >&2
        tar -xf "$(compgen -G "$third_party/$archive_glob" | head -1)" -C "$tmp"
        mv "$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -1)" "$work/src/$dir"
    else
        echo "qt.sh: cannot get the source of $package $version" \
            "(apt-get source failed; give a folder of source archives with --third-party)" >&2
        exit 1
    fi
    rm -rf "$tmp"
}

ensure_deb_src
((${#rebuild[@]})) || fetch_source qt6-base "$qtbase_version" qtbase none
fetch_source qt6-serialport "" qtserialport "qtserialport-$upstream.tar.*"
fetch_source qt6-svg "" qtsvg "qtsvg-$upstream.tar.*"
for module in "${modules[@]}"; do  # Debian's own might be another release: it must match
    got=$(sed -n 's/^set(QT_REPO_MODULE_VERSION "\(.*\)")/\1/p' "$work/src/$module/.cmake.conf")
    if [[ "$got" != "$upstream" ]]; then
        echo "qt.sh: $module is $got, qtbase is $upstream" >&2; exit 1
    fi
done

for module in "${modules[@]}"; do
    [[ -f "$work/src/$module/.patched" ]] && continue
    for patch in $(module_patches "$module"); do
        patch -d "$work/src/$module" -p1 --forward --quiet <"$patch" >>"$log"
    done
    touch "$work/src/$module/.patched"
done

build() {  # module source dir, build dir, configure command...
    local src=$1 bld=$2; shift 2
    [[ -f "$bld/build.ninja" ]] || nice -n 10 "$@" -G Ninja -S "$src" -B "$bld" >>"$log" 2>&1
    nice -n 10 cmake --build "$bld" -j2 >>"$log" 2>&1
    cmake --install "$bld" >>"$log" 2>&1
}
build_module() {
    build "$work/src/$1" "$work/build-$1" "$prefix/bin/qt-cmake" -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    module_stamp "$1" >"$prefix/.module-$1"
}
trap 'echo "qt.sh: the Qt build failed; the end of $log:" >&2; tail -30 "$log" >&2' ERR
start=$SECONDS

if ((${#rebuild[@]})); then
    for module in "${rebuild[@]}"; do build_module "$module"; done
    rm -rf "$work"
    echo "Cross-built Qt's ${rebuild[*]} in $((SECONDS - start)) s: $prefix" >&2
    echo "$prefix"
    exit 0
fi

# Qt 6.4.2's qwindows plugin asks the dynamic OpenGL loader whether it is software GL even when
# OpenGL is off, and does not compile: without OpenGL there is none.
sed -i '/^static inline bool isSoftwareGl()/,/^}/ s/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$work/src/qtbase/src/plugins/platforms/windows/qwindowswindow.cpp"

# The installed Qt's own toolchain file loads this one: keep a copy beside it, not the checkout's.
# (Left as it is when unchanged: a newer file would make a build that failed half-way configure
# again.)
mkdir -p "$prefix"
find "$prefix" -mindepth 1 -maxdepth 1 ! -name mingw-w64-x86_64.cmake -exec rm -rf {} +
cmp -s "$toolchain" "$prefix/mingw-w64-x86_64.cmake" || cp "$toolchain" "$prefix/mingw-w64-x86_64.cmake"
toolchain="$prefix/mingw-w64-x86_64.cmake"
build "$work/src/qtbase" "$work/build-qtbase" cmake -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
    "${qtbase_flags[@]}"
for module in "${modules[@]}"; do build_module "$module"; done
key_text >"$prefix/key.txt"
echo "built in $((SECONDS - start)) s" >>"$prefix/key.txt"
touch "$prefix/.complete"
rm -rf "$work"
echo "Cross-built Qt $upstream in $((SECONDS - start)) s: $prefix" >&2
echo "$prefix"
