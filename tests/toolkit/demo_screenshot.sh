#!/bin/sh
# Starts the toolkit demo under Wine on the current X display, waits for both
# of its windows, captures the screen and checks that the capture shows a
# real picture (many colours, not one blank fill), then closes the demo
# through its close box and checks that it reported the close and ended.
#   demo_screenshot.sh DEMO.exe WINE-RUN.sh OUTPUT-DIR
# Every wait is bounded and ends as soon as its condition holds.
set -eu

demo=$1
wine_run=$2
out=$3
limit=${CS_SCREENSHOT_TIMEOUT:-120}

if [ -z "${DISPLAY:-}" ]; then
    echo "no X display: run the tests through scripts/with-display.sh" >&2
    exit 1
fi
mkdir -p "$out"
rm -f "$out/demo.png" "$out/demo.log"

"$wine_run" "$demo" >"$out/demo.log" 2>"$out/demo.err" &
runner=$!
cleanup() {
    kill "$runner" 2>/dev/null || true
}
trap cleanup EXIT

# Finds a visible window by its exact title (the test program's own windows
# must not count). A search fails outright with BadWindow when another
# program destroys a window while xdotool walks the tree (the toolkit tests
# share the display), so it is repeated until it answers.
find_window() {
    timeout "$limit" sh -c '
        until id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) &&
              [ -n "$id" ]; do
            sleep 0.1
        done
        echo "$id"' find_window "$1"
}
main=$(find_window '^Toolkit demo$')
skin=$(find_window '^Toolkit demo skin$')
if [ -z "$main" ] || [ -z "$skin" ]; then
    echo "the demo's windows did not appear" >&2
    cat "$out/demo.err" >&2
    exit 1
fi
# The demo prints "ready" once both windows are shown and painted.
timeout "$limit" sh -c "until grep -q '^ready' '$out/demo.log'; do sleep 0.1; done"

import -window root "$out/demo.png"
colours=$(convert "$out/demo.png" -format %k info:)
echo "screenshot $out/demo.png has $colours colours"
if [ "$colours" -lt 16 ]; then
    echo "the screenshot looks blank" >&2
    exit 1
fi
# Both windows cover their part of the screen with more than one colour.
for id in "$main" "$skin"; do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    part=$(convert "$out/demo.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -format %k info:)
    echo "window $id at ${X},${Y} ${WIDTH}x${HEIGHT}: $part colours"
    if [ "$part" -lt 8 ]; then
        echo "window $id looks blank" >&2
        exit 1
    fi
done

# Real clicks through the X server: each must come back as the event of the
# control clicked (the slots are what the demo printed).
slot() { sed -n "s/^slots .*$1=\([0-9]*\).*/\1/p" "$out/demo.log"; }
expect_event() {
    if ! timeout "$limit" sh -c "until grep -q '^event $1 window $2' '$out/demo.log'; do sleep 0.1; done"; then
        echo "no event $1 from the $2 window; the demo printed:" >&2
        cat "$out/demo.log" >&2
        exit 1
    fi
}
# Apply: panel at x 440 of the 640-wide client, button at (12, 84), 80 x 26.
xdotool mousemove --window "$main" 492 97 click 1
expect_event "$(slot apply)" main
# The check box at (12, 124) in the panel.
xdotool mousemove --window "$main" 460 135 click 1
expect_event "$(slot check)" main
# The skinned window's Close button at (264, 137), 80 x 25: the demo closes it.
xdotool mousemove --window "$skin" 304 149 click 1
expect_event "$(slot close)" skin
# Gone once X reports it unmapped (or destroyed).
timeout "$limit" sh -c "while xwininfo -id $skin 2>/dev/null | grep -q 'IsViewable'; do sleep 0.1; done"

# Close the main window from the keyboard as a user would; the demo reports
# the close event and ends by itself.
timeout "$limit" xdotool windowactivate --sync "$main" key --clearmodifiers alt+F4
timeout "$limit" sh -c "while kill -0 $runner 2>/dev/null; do sleep 0.1; done"
wait "$runner" || { echo "the demo failed" >&2; cat "$out/demo.err" >&2; exit 1; }
trap - EXIT
grep -q '^event -6 window main' "$out/demo.log" || {
    echo "the demo did not report the close request" >&2
    cat "$out/demo.log" >&2
    exit 1
}
grep -q '^closed' "$out/demo.log"
