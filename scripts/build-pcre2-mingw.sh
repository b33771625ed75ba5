#!/bin/sh
# Builds the 16-bit PCRE2 static library with the mingw-w64 cross compiler
# from Debian's source package, into a prefix inside the build tree
# (build/deps/pcre2-mingw). Neither the download nor the result is committed.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/build/deps"
prefix="$deps/pcre2-mingw"

if [ -f "$prefix/lib/libpcre2-16.a" ] && [ -f "$prefix/include/pcre2.h" ]; then
    exit 0
fi

mkdir -p "$deps/src"
cd "$deps/src"
if ! ls pcre2_*.orig.tar.* >/dev/null 2>&1; then
    apt-get source --download-only pcre2/bookworm
fi
rm -rf pcre2-src
mkdir pcre2-src
tar -xf "$(ls pcre2_*.orig.tar.* | head -n1)" -C pcre2-src --strip-components=1

cmake -S pcre2-src -B pcre2-build -G Ninja \
    -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix \
    -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF \
    -DPCRE2_BUILD_PCRE2_8=OFF \
    -DPCRE2_BUILD_PCRE2_16=ON \
    -DPCRE2_BUILD_PCRE2_32=OFF \
    -DPCRE2_BUILD_PCRE2GREP=OFF \
    -DPCRE2_BUILD_TESTS=OFF \
    -DPCRE2_SUPPORT_JIT=OFF \
    -DPCRE2_STATIC_PIC=OFF >/dev/null
cmake --build pcre2-build >/dev/null
cmake --install pcre2-build >/dev/null
