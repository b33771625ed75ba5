#!/bin/sh
# Runs a command on a private X display with a window manager:
#   scripts/with-display.sh COMMAND [ARGUMENTS...]
# Xvfb picks a free display number itself (-displayfd) and reports it once it
# accepts connections, so there is no guessing and no fixed wait. openbox runs
# on it because Wine without a window manager stalls about 2 s on every hide
# or destroy and keeps keyboard focus unreliable. The display and the window
# manager end with the command; its exit code is passed through. A Wine server
# started on this display should be ended (wineserver -k) by the caller.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 COMMAND [ARGUMENTS...]" >&2
    exit 2
fi

tmp=$(mktemp -d)
xvfb=""
wm=""
cleanup() {
    [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    [ -n "$xvfb" ] && wait "$xvfb" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

# Two displays started at the same moment can both be offered the same free
# number; the loser is noticed when nothing answers on it, and tries again.
start_display() {
    rm -f "$tmp/displayfd"
    mkfifo "$tmp/displayfd"
    Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$tmp/displayfd" \
        >"$tmp/xvfb.log" 2>&1 &
    xvfb=$!
    # Blocks until Xvfb writes its display number, or is empty if it died.
    number=$(head -n 1 <"$tmp/displayfd" || true)
    [ -n "$number" ] || return 1
    DISPLAY=:$number
    export DISPLAY
    # openbox keeps a log below the cache folder: the user's is not ours.
    XDG_CACHE_HOME="$tmp/cache" openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
    wm=$!
    # The window manager is ready once it has announced itself on the root
    # window; it exits at once when it cannot reach the display.
    timeout "${CS_WM_TIMEOUT:-30}" sh -c '
        until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
            kill -0 '"$wm"' 2>/dev/null || exit 1
            sleep 0.05
        done'
}

attempt=0
until start_display; do
    attempt=$((attempt + 1))
    [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    [ -n "$xvfb" ] && wait "$xvfb" 2>/dev/null || true
    wm=""
    xvfb=""
    if [ "$attempt" -ge 3 ]; then
        echo "$0: no display with a window manager after $attempt attempts:" >&2
        cat "$tmp/xvfb.log" "$tmp/openbox.log" >&2 2>/dev/null || true
        exit 125
    fi
done

set +e
"$@"
rc=$?
set -e
exit $rc
