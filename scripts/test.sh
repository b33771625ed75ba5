#!/bin/sh
# Runs every test: installs what is missing, builds natively and for
# Windows, runs the native suites and then the Windows suites under Wine.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
jobs=$(nproc 2>/dev/null || echo 2)

"$here/scripts/setup.sh"

echo "== native build"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLONESIFTER_WERROR=ON >/dev/null
cmake --build build/native -j "$jobs"
echo "== native tests"
(cd build/native && ctest -j "$jobs" --output-on-failure --timeout 900)

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
echo "== all tests passed"
