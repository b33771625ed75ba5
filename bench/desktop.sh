#!/bin/bash
# Times the desktop program against its own command line, both under Wine,
# on the same trees with the same choices, and prints one table of ratios
# measured in one run (bench/README.md, "The desktop program"):
#
#   bench/desktop.sh [options] [TREE...]
#
# Without TREE: the small and large corpora (bench/make_corpus.cpp), a
# generated tree of --many small files whose sizes are all shared, and
# /usr. Every generated tree goes below one temporary folder (mktemp -d,
# or --work DIR), removed at the end unless --keep.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
here=$repo/bench
build=$repo/build/bench-windows
scale=1
size_scale=1
many=1000000
removal_scale=0.1
runs=3
work=""
keep=0
real=/usr
trees=()

usage() {
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
    cat <<'EOF'
Options:
  --scale F          multiply the corpora's file counts (make_corpus --scale)
  --size-scale F     multiply the corpora's file sizes
  --many N           files of the shared-size tree (default 1000000; 0: none)
  --removal-scale F  scale of the groups corpus copied for the removal cell
                     (default 0.1: 20,000 files in groups of four)
  --runs N           timed runs of each command line (default 3; the median
                     counts: a Wine process start now and then waits a second
                     or two for the Wine server)
  --no-real          leave out /usr
  --work DIR         generate the trees below DIR instead of a temporary folder
  --keep             keep the generated trees
EOF
}

while [ $# -gt 0 ]; do
    case "$1" in
        --scale) scale=$2; shift ;;
        --size-scale) size_scale=$2; shift ;;
        --many) many=$2; shift ;;
        --removal-scale) removal_scale=$2; shift ;;
        --runs) runs=$2; shift ;;
        --no-real) real="" ;;
        --work) work=$2; shift ;;
        --keep) keep=1 ;;
        -h | --help) usage; exit 0 ;;
        -*) echo "unknown option $1" >&2; usage >&2; exit 2 ;;
        *) trees+=("$1") ;;
    esac
    shift
done

log() { printf '== %s\n' "$*" >&2; }

for tool in wine wineserver x86_64-w64-mingw32-g++-posix cmake ninja Xvfb openbox g++ python3; do
    command -v "$tool" >/dev/null || {
        echo "$tool is missing: scripts/setup.sh installs what the project needs" >&2
        exit 2
    }
done

# --- the Windows programs and the driver --------------------------------------
[ -f "$repo/build/deps/pcre2-mingw/lib/libpcre2-16.a" ] || sh "$repo/scripts/build-pcre2-mingw.sh"
log "building clonesifter.exe, clonesifter-cli.exe and the driver (Release, $build)"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCLONESIFTER_WERROR=ON \
    -DCLONESIFTER_BENCH=ON -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j 2 --target cs_bench_driver clonesifter clonesifter-cli >/dev/null

# --- the trees ------------------------------------------------------------------
if [ -n "$work" ]; then
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/cs-desktop-bench.XXXXXX)
fi
work=$(cd "$work" && pwd)
cleanup() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
    [ "$keep" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT INT TERM

gen=$work/make_corpus
g++ -std=c++17 -O2 -o "$gen" "$here/make_corpus.cpp"

if [ ${#trees[@]} -eq 0 ]; then
    for kind in small large; do
        "$gen" --kind "$kind" --out "$work" --scale "$scale" --size-scale "$size_scale" >&2
        trees+=("$work/$kind/tree")
    done
    if [ "$many" -gt 0 ]; then
        log "generating $many files with shared sizes"
        # Sizes of 1 to 64 bytes, so every size is shared many times over.
        # One file in 24 of the first half has a namesake of its size in the
        # second half: about 21,000 pairs, 63,000 rows with their separators
        # in a million files.
        python3 - "$work/many" "$many" <<'EOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(26)
sizes = [rng.randint(1, 64) for _ in range(count)]
half = count // 2
for i in range(count):
    if i % 200 == 0:
        folder = os.path.join(root, "d%02d" % (i // 40000), "f%03d" % (i // 200 % 200))
        os.makedirs(folder, exist_ok=True)
    first = i - half if i >= half else i
    if first % 24 == 0 and first + half < count:
        name, size = "p%07d.dat" % first, sizes[first]
    else:
        name, size = "n%07d.dat" % i, sizes[i]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(b"x" * size)
EOF
        trees+=("$work/many")
    fi
    [ -n "$real" ] && trees+=("$real")
fi

log "generating the groups corpus for the removal cell (scale $removal_scale), two copies"
"$gen" --kind groups --out "$work" --scale "$removal_scale" >&2
rm -rf "$work/removal-gui" "$work/removal-cli"
cp -a "$work/groups/tree" "$work/removal-gui"
cp -a "$work/groups/tree" "$work/removal-cli"

# --- measuring, on a private display ----------------------------------------------
export WINEPREFIX=$build/wineprefix
wineserver -k 2>/dev/null || true
export CS_BENCH_TREES
CS_BENCH_TREES=$(printf '%s\n' "${trees[@]}")
results=$repo/bench/out/desktop-$(date +%Y%m%d-%H%M%S)
mkdir -p "$results"
export CS_BENCH_WORK=$work CS_BENCH_BUILD=$build CS_BENCH_REPO=$repo CS_BENCH_RUNS=$runs
export CS_BENCH_RESULTS=$results
log "measuring (load average before: $(cut -d' ' -f1-3 /proc/loadavg))"
"$repo/scripts/with-display.sh" bash "$here/desktop_measure.sh" | tee "$results/summary.txt"
log "load average after: $(cut -d' ' -f1-3 /proc/loadavg); everything measured is in $results"
