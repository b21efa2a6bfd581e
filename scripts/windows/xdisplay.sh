# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the Windows scripts: a virtual X display with a window manager, for the desktop
# program under Wine. QUILLON_XDISPLAY (e.g. :22) names the display to use; else Xvfb picks a
# free one.
#   start_display                 DISPLAY set to a fresh Xvfb with openbox on it
#   wait_for_window NAME SECONDS  prints the id of the first visible window whose name matches
#   stop_display

xvfb_pid="" wm_pid=""

start_display() {
    local fifo number
    fifo=$(mktemp -u) && mkfifo "$fifo"
    if [[ -n "${QUILLON_XDISPLAY:-}" ]]; then
        Xvfb "$QUILLON_XDISPLAY" -screen 0 1024x700x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        number=${QUILLON_XDISPLAY#:}
        sleep 1
    else
        Xvfb -displayfd 3 -screen 0 1024x700x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
        xvfb_pid=$!
        read -r number <"$fifo"
    fi
    rm -f "$fifo"
    export DISPLAY=":$number"
    openbox >/dev/null 2>&1 &
    wm_pid=$!
    sleep 1
}

wait_for_window() {
    local name=$1 limit=$2 i id
    for ((i = 0; i < limit * 2; ++i)); do
        id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -1) || true
        if [[ -n "$id" ]]; then echo "$id"; return 0; fi
        sleep 0.5
    done
    return 1
}

stop_display() {
    [[ -n "$wm_pid" ]] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    wm_pid="" xvfb_pid=""
    unset DISPLAY
    return 0
}
