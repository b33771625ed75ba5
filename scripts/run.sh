#!/bin/sh
# Finds duplicates: with no argument in a small demo tree made here, else
# below the folder given (any clonesifter-cli options may come first).
#   run.sh --desktop [FOLDER]   the desktop program under Wine instead: on
#     this display when there is one; without one, on a private display,
#     where a scan of the folder (default: the demo tree) is driven and the
#     setup window, the progress dialog and the result list are photographed
#     into build/screenshots/.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
cli="$here/build/release/src/clonesifter-cli"

if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null ||
    ! pkg-config --exists libpcre2-16 2>/dev/null || [ ! -f /usr/include/openssl/evp.h ]; then
    "$here/scripts/setup.sh" >&2
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCLONESIFTER_TESTS=OFF >/dev/null
cmake --build build/release --target clonesifter-cli >/dev/null

desktop=0
if [ "${1:-}" = --desktop ]; then
    desktop=1
    shift
fi

if [ "$desktop" = 0 ] && [ "$#" -gt 0 ]; then
    exec "$cli" "$@"
fi

# The demo: a few copies under copy-marker names, a look-alike that differs
# in one byte, folders with similar names and two empty files.
demo="$here/build/demo"
rm -rf "$demo"
mkdir -p "$demo/Photos/2023" "$demo/Backup/Photos (2)" "$demo/Documents - old" "$demo/Documents"
head -c 300000 /dev/urandom >"$demo/Photos/2023/beach.jpg"
cp "$demo/Photos/2023/beach.jpg" "$demo/Photos/2023/beach - copy.jpg"
cp "$demo/Photos/2023/beach.jpg" "$demo/Backup/Photos (2)/beach (2).jpg"
cp "$demo/Photos/2023/beach.jpg" "$demo/Photos/2023/lookalike.jpg"
printf 'X' | dd of="$demo/Photos/2023/lookalike.jpg" bs=1 seek=150000 conv=notrunc 2>/dev/null
printf 'Quarterly report\n' >"$demo/Documents/report.txt"
cp "$demo/Documents/report.txt" "$demo/Documents - old/report.txt"
printf 'Other notes\n' >"$demo/Documents/notes.txt"
: >"$demo/Documents/empty.txt"
: >"$demo/Backup/empty.log"

if [ "$desktop" = 1 ]; then
    [ "$#" -gt 0 ] && demo=$(cd "$1" && pwd)
    if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null ||
        [ ! -f build/deps/pcre2-mingw/lib/libpcre2-16.a ]; then
        "$here/scripts/setup.sh" >&2
    fi
    if [ ! -f build/windows/CMakeCache.txt ]; then
        cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLONESIFTER_WERROR=ON \
            -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
    fi
    cmake --build build/windows --target clonesifter cs_app_driver >/dev/null
    export WINEPREFIX="$here/build/windows/wineprefix"
    # winepath starts Wine too: with the prefix's private home, as
    # wine-run.sh gives every Wine program, so that nothing lands in the
    # user's own ~/.local/share.
    winpath() {
        mkdir -p "$WINEPREFIX/home/.local/share"
        HOME="$WINEPREFIX/home" XDG_DATA_HOME="$WINEPREFIX/home/.local/share" \
            WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEDEBUG=-all \
            winepath -w "$1" 2>/dev/null
    }
    if [ -n "${DISPLAY:-}" ]; then
        echo "Starting clonesifter.exe on $DISPLAY with $demo"
        exec "$here/scripts/wine-run.sh" build/windows/src/app/clonesifter.exe \
            "$(winpath "$demo")"
    fi
    shots="$here/build/screenshots"
    rm -rf "$shots"
    mkdir -p "$shots"
    # The driver test scans the folder as a user would, photographing the
    # windows on the way (and a cancelled scan for the progress dialog,
    # which a small folder closes too soon to be seen). Its Wine server
    # starts afresh on the private display.
    CS_SCREENSHOTS="$(winpath "$shots")"
    CS_DEMO_ROOT="$(winpath "$demo")"
    export CS_SCREENSHOTS CS_DEMO_ROOT
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
    "$here/scripts/with-display.sh" sh -c '
        "$3/scripts/wine-run.sh" "$3/build/windows/tests/app/cs_app_driver.exe" \
            --gtest_filter="*SetupWindowRules*:*CancelEarly*" >"$1/driver.log" 2>&1
        status=$?
        wineserver -k 2>/dev/null || true
        exit $status' sh "$shots" "$demo" "$here" || {
        echo "the desktop run failed; see $shots/driver.log" >&2
        exit 1
    }
    for bmp in "$shots"/*.bmp; do
        convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
        echo "${bmp%.bmp}.png"
    done
    exit 0
fi

echo "Demo tree: $demo"
echo
echo "-- same size and similar names (the default preset):"
"$cli" --quiet --folders --zero-byte "$demo"
echo
echo "-- same size and exact contents (--preset 4); lookalike.jpg differs in one byte:"
"$cli" --quiet --preset 4 "$demo"
