#!/bin/sh
# Runs every test: installs what is missing, builds natively and for
# Windows, runs the native suites and then the Windows suites under Wine.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
jobs=$(nproc 2>/dev/null || echo 2)

"$here/scripts/setup.sh"

# The tests must leave the user's files as they were; the trash folders and
# the digest cache are where a slip would show, so their listing before and
# after must agree.
uid=$(id -u)
home=${HOME:-$(getent passwd "$uid" | cut -d: -f6)}
case ${XDG_DATA_HOME:-} in
    /*) user_trash=$XDG_DATA_HOME/Trash ;;
    *) user_trash=$home/.local/share/Trash ;;
esac
case ${XDG_CACHE_HOME:-} in
    /*) user_cache=$XDG_CACHE_HOME/clonesifter ;;
    *) user_cache=$home/.cache/clonesifter ;;
esac
list_trashes() {
    for t in "$user_trash" "/dev/shm/.Trash-$uid" "$user_cache"; do
        if [ -e "$t" ]; then
            find "$t" -printf '%p %y %s %T@ %i\n' | LC_ALL=C sort
        else
            echo "$t (none)"
        fi
    done
}
trash_before=$(mktemp)
trash_after=$(mktemp)
trap 'rm -f "$trash_before" "$trash_after"' EXIT
list_trashes >"$trash_before"
check_trashes() {
    list_trashes >"$trash_after"
    if ! cmp -s "$trash_before" "$trash_after"; then
        echo "== the tests changed the user's trash or cache:" >&2
        diff "$trash_before" "$trash_after" >&2 || true
        exit 1
    fi
}

echo "== native build"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLONESIFTER_WERROR=ON >/dev/null
cmake --build build/native -j "$jobs"
echo "== native tests"
(cd build/native && ctest -j "$jobs" --output-on-failure --timeout 900)
check_trashes

echo "== windows build"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLONESIFTER_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build/windows -j "$jobs"
echo "== windows tests (wine, on a private X display)"
# The suites that open windows need a display; all of them share the build's
# Wine prefix, so its server is restarted on this run's display and ended
# with it.
export WINEPREFIX="$here/build/windows/wineprefix"
[ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
status=0
"$here/scripts/with-display.sh" sh -c \
    'cd build/windows && ctest -j "$1" --output-on-failure --timeout 900' sh "$jobs" ||
    status=$?
[ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
[ "$status" = 0 ] || exit "$status"
check_trashes
echo "== all tests passed"
