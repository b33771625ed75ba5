#!/bin/sh
# Finds duplicates: with no argument in a small demo tree made here, else
# below the folder given (any clonesifter-cli options may come first).
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

if [ "$#" -gt 0 ]; then
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

echo "Demo tree: $demo"
echo
echo "-- same size and similar names (the default preset):"
"$cli" --quiet --folders --zero-byte "$demo"
echo
echo "-- same size and exact contents (--preset 4); lookalike.jpg differs in one byte:"
"$cli" --quiet --preset 4 "$demo"
