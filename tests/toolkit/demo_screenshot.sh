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
# The size grip in the panel's bottom-right corner: dragging it sizes the
# window as the system's own grip does (the window manager takes the drag
# over once the press has reached it, so the mouse moves until it grows).
eval "$(xdotool getwindowgeometry --shell "$main")"
before_width=$WIDTH
before_height=$HEIGHT
xdotool mousemove --window "$main" $((WIDTH - 5)) $((HEIGHT - 5)) mousedown 1
grown=0
timeout "$limit" sh -c '
    while [ "$(xdotool getwindowgeometry --shell "$1" | sed -n "s/^WIDTH=//p")" -le "$2" ]; do
        xdotool mousemove_relative --sync 4 3
        sleep 0.05
    done' grip "$main" "$before_width" && grown=1
xdotool mouseup 1
eval "$(xdotool getwindowgeometry --shell "$main")"
echo "dragging the size grip: ${before_width}x${before_height} -> ${WIDTH}x${HEIGHT}"
if [ "$grown" != 1 ] || [ "$HEIGHT" -le "$before_height" ]; then
    echo "dragging the size grip did not size the window" >&2
    exit 1
fi

# The skinned window's Close button at (264, 137), 80 x 25: the demo closes it.
# The window manager ends the drag's pointer grab once it has read the
# release, in its own time; a click that arrives before that goes to the
# window manager, not to the demo (seen under load), so the user clicks
# again until the event comes. Once it has, the window is gone and there is
# nothing left there to click twice.
closed=0
for attempt in 1 2 3 4 5; do
    [ "$attempt" = 1 ] || echo "no close event after click $((attempt - 1)); clicking again"
    xdotool mousemove --window "$skin" 304 149 click 1 2>/dev/null || true
    if timeout 3 sh -c "until grep -q '^event $(slot close) window skin' '$out/demo.log'; do sleep 0.1; done"; then
        closed=1
        break
    fi
done
[ "$closed" = 1 ] || expect_event "$(slot close)" skin
# Gone once X reports it unmapped (or destroyed).
timeout "$limit" sh -c "while xwininfo -id $skin 2>/dev/null | grep -q 'IsViewable'; do sleep 0.1; done"

# The controls window's buttons open a tip, a yes/no box and the progress
# dialog; each is captured once it shows on the screen (a pixel of its own
# look is there), cropped to its rectangle and checked for content.
wait_line() {
    if ! timeout "$limit" sh -c "until grep -q '^$1' '$out/demo.log'; do sleep 0.1; done"; then
        echo "the demo never printed '$1'; it printed:" >&2
        cat "$out/demo.log" >&2
        exit 1
    fi
}
centre() { sed -n "s/^centre $1 //p" "$out/demo.log" | tail -n 1; }
click_at() {
    set -- $(centre "$1")
    xdotool mousemove "$1" "$2" click 1
}
# capture NAME RECT-NAME FX [MIN-COLOURS]: waits until the fx expression (on
# the crop) holds, then keeps the crop as NAME.png. The tip is drawn in three
# colours only (its text is not smoothed), the others in more.
capture() {
    name=$1
    fx=$3
    least=${4:-4}
    set -- $(sed -n "s/^rect $2 //p" "$out/demo.log" | tail -n 1)
    end=$(($(date +%s) + limit))
    while :; do
        import -window root "$out/screen.png"
        convert "$out/screen.png" -crop "${3}x${4}+${1}+${2}" +repage "$out/$name.png"
        [ "$(convert "$out/$name.png" -format "%[fx:$fx]" info:)" = 1 ] && break
        if [ "$(date +%s)" -ge "$end" ]; then
            echo "$name never showed as expected" >&2
            exit 1
        fi
    done
    colours=$(convert "$out/$name.png" -format %k info:)
    echo "$name at $1,$2 ${3}x${4}: $colours colours"
    if [ "$colours" -lt "$least" ]; then
        echo "$name looks blank" >&2
        exit 1
    fi
}
rm -f "$out"/tip.png "$out"/box.png "$out"/progress-*.png
# The tip: black, with the blue mark in its top-left corner.
click_at tip
wait_line 'rect tip'
capture tip tip 'p{3,3}.b > 0.9 && p{3,3}.r < 0.5 && p{40,45}.r < 0.1' 3
# Pressing Ask closes the tip and still opens the box (white body, blue band).
click_at ask
wait_line 'tip closed'
wait_line 'centre no'
capture box box 'p{10,60}.r > 0.95 && p{10,130}.b > 0.95 && p{10,130}.r < 0.96'
click_at no
wait_line 'answer 0'
# The progress dialog spinning, then at 40 %; Cancel closes it.
click_at progress
wait_line 'progress spinning'
capture progress-spinning progress 'p{2,60}.r < 0.1 && p{300,40}.r > 0.95'
click_at progress
wait_line 'progress 40'
capture progress-40 progress 'p{46,14}.b > 0.5 && p{46,14}.r < 0.4'
click_at cancel
wait_line 'progress closed'
rm -f "$out/screen.png"

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
