#!/bin/sh
# Makes the Windows download: build/dist/clonesifter-1.0.0.0-windows-x64.zip
# with the desktop program, the command line and the README. Both programs
# are linked statically, so a Windows user unpacks the folder and runs them
# with nothing else installed.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
version=1.0.0.0
name=clonesifter-$version-windows-x64

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ ! -f build/deps/pcre2-mingw/lib/libpcre2-16.a ]; then
    "$here/scripts/setup.sh" >&2
fi
# The test command's Windows build tree (optimised, with debug information,
# which is stripped below), so packaging after testing compiles nothing.
if [ ! -f build/windows/CMakeCache.txt ]; then
    cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLONESIFTER_WERROR=ON \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build build/windows --target clonesifter clonesifter-cli >/dev/null

stage="$here/build/dist/$name"
rm -rf "$stage" "$here/build/dist/$name.zip"
mkdir -p "$stage"
cp build/windows/src/app/clonesifter.exe build/windows/src/clonesifter-cli.exe "$stage/"
x86_64-w64-mingw32-strip "$stage/clonesifter.exe" "$stage/clonesifter-cli.exe"
# Windows users read it with Notepad, which wants CR LF.
sed 's/$/\r/' README.md >"$stage/README.txt"
cd "$here/build/dist"
if command -v zip >/dev/null; then
    zip -qr "$name.zip" "$name"
else
    python3 -m zipfile -c "$name.zip" "$name"
fi
echo "$here/build/dist/$name.zip"
