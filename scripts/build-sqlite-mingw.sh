#!/bin/sh
# Builds SQLite as a static library with the mingw-w64 cross compiler from
# Debian's source package (its patches applied), into a prefix inside the
# build tree (build/deps/sqlite-mingw), for the command line's digest cache.
# The package carries no amalgamation: it is made natively first (which
# needs tclsh, installed by setup.sh), then cross-compiled as one file.
# Neither the download nor the result is committed.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/build/deps"
prefix="$deps/sqlite-mingw"

if [ -f "$prefix/lib/libsqlite3.a" ] && [ -f "$prefix/include/sqlite3.h" ]; then
    exit 0
fi

mkdir -p "$deps/src"
cd "$deps/src"
if ! ls sqlite3_*.dsc >/dev/null 2>&1; then
    apt-get source --download-only sqlite3/bookworm
fi
rm -rf sqlite-src sqlite-amalgamation
dpkg-source --no-check -x "$(ls sqlite3_*.dsc | head -n1)" sqlite-src >/dev/null

mkdir sqlite-amalgamation
cd sqlite-amalgamation
../sqlite-src/configure --disable-tcl >/dev/null
make sqlite3.c >/dev/null
cd ..

# Only what the cache uses: no extension loading, no shared cache, no
# deprecated calls. Threads stay on (the store is read on a thread of its
# own while the walk begins).
mkdir -p "$prefix/lib" "$prefix/include"
x86_64-w64-mingw32-gcc-posix -O2 -c sqlite-amalgamation/sqlite3.c -o sqlite-amalgamation/sqlite3.o \
    -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_OMIT_SHARED_CACHE \
    -DSQLITE_OMIT_DEPRECATED
rm -f "$prefix/lib/libsqlite3.a"
x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" sqlite-amalgamation/sqlite3.o
cp sqlite-amalgamation/sqlite3.h "$prefix/include/"
