# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the Windows scripts: what a cross-built Quillon needs to run under Wine.
#   wine_env QT_PREFIX       exports Wine's settings and WINEPATH (Qt's and MinGW's DLLs)
#   wine_new_prefix DIR      a fresh, throw-away Wine prefix (WINEPREFIX=DIR)
#   wine_copy_prefix FROM TO a copy of a prefix, made in a moment (its files hard-linked)
#   wine_map_com N DEVICE    COMn of the current prefix stands for a Linux device
#   win_path PATH            a Linux path as Wine's Z: drive sees it

mingw_runtime_dirs=(/usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)

win_path() {
    local p
    p=$(realpath -m "$1")
    echo "Z:${p//\//\\}"
}

wine_env() {
    local qt=$1 dirs=() d
    export WINEDEBUG=${WINEDEBUG:--all}
    # No prompts for Wine's .NET and HTML engines, which Quillon does not use.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    for d in "$qt/bin" "${mingw_runtime_dirs[@]}"; do dirs+=("$(win_path "$d")"); done
    WINEPATH=$(IFS=';'; echo "${dirs[*]}")
    export WINEPATH
    export WINEQT_PLUGIN_PATH
    WINEQT_PLUGIN_PATH=$(win_path "$qt/plugins")
    # The offscreen platform plugin draws with FreeType from a folder of fonts.
    export WINEQT_QPA_FONTDIR
    WINEQT_QPA_FONTDIR=$(win_path /usr/share/fonts/truetype/dejavu)
}

wine_new_prefix() {
    export WINEPREFIX=$1
    if [[ -n "$WINEPREFIX" && -d "$WINEPREFIX" ]]; then
        wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
    fi
    mkdir -p "$WINEPREFIX"
    WINEDEBUG=-all wineboot -i >/dev/null 2>&1
    wineserver -w
}

wine_copy_prefix() {
    local from=$1 to=$2 reg
    rm -rf "$to"
    cp -al "$from" "$to"
    # Wine rewrites the registry files; Windows' own files it leaves alone.
    for reg in "$from"/*.reg; do cp --remove-destination "$reg" "$to/"; done
}

wine_map_com() {
    wine reg add 'HKLM\Software\Wine\Ports' /v "COM$1" /d "$2" /f >/dev/null 2>&1
    # The mapping is read when the wineserver starts.
    wineserver -k 2>/dev/null || true
    wineserver -w
}

wine_unmap_com() {
    wine reg delete 'HKLM\Software\Wine\Ports' /v "COM$1" /f >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    wineserver -w
}
