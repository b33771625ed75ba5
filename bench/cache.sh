#!/bin/bash
# The digest cache (--cache) on three trees: a rescan of an unchanged tree
# against a --contents none scan (warm and cold), a rescan after 1 % of the
# candidates changed against the none scan plus the time to read what
# changed, a first scan with the cache against one without, the bytes the
# cache takes per file, and the peers' second runs beside ours. One table of
# ratios, all measured in this run. See bench/README.md.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
out="$here/out"
runs=3
many=1000000
scale=1
size_scale=0.1
real=/usr
cold=1
bin=""
peers="jdupes fdupes rdfind rmlint"

usage() {
    cat <<'EOF'
Usage: bench/cache.sh [options]
  --runs N          timed runs per cell, the median is kept (default 3)
  --many N          files in the generated many-file tree (default 1000000)
  --scale F         file count factor of the many-small corpus (default 1: 100,000 files)
  --size-scale F    file size factor of the many-small corpus (default 0.1: up to 100 KiB)
  --real DIR        the existing tree (default /usr; it is never changed)
  --no-real         no existing tree
  --no-cold         no runs after dropping the page cache
  --peers "LIST"    among jdupes fdupes rdfind rmlint (default all; "" for none)
  --bin PATH        this clonesifter-cli instead of a Release build in build/bench
  --out DIR         corpora and results (default bench/out)
EOF
}

while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift ;;
        --many) many=$2; shift ;;
        --scale) scale=$2; shift ;;
        --size-scale) size_scale=$2; shift ;;
        --real) real=$2; shift ;;
        --no-real) real="" ;;
        --no-cold) cold=0 ;;
        --peers) peers=$2; shift ;;
        --bin) bin=$2; shift ;;
        --out) out=$2; shift ;;
        -h | --help) usage; exit 0 ;;
        *) echo "unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
    shift
done

log() { printf '== %s\n' "$*" >&2; }

# --- packages: the peers, and what builds us ------------------------------
need="$peers python3 g++ cmake ninja-build"
missing=""
for p in $need; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    [ "$(id -u)" = 0 ] || { echo "missing:$missing (run as root to install them)" >&2; exit 1; }
    log "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
"$repo/scripts/setup.sh" >/dev/null 2>&1 || true  # SQLite and xxHash for our build

mkdir -p "$out"
if [ -z "$bin" ]; then
    log "building clonesifter-cli (Release, build/bench)"
    [ -f "$repo/build/bench/build.ninja" ] ||
        cmake -S "$repo" -B "$repo/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCLONESIFTER_TESTS=OFF >"$out/cache-build.log"
    cmake --build "$repo/build/bench" -j 1 --target clonesifter-cli >>"$out/cache-build.log"
    bin="$repo/build/bench/src/clonesifter-cli"
fi

# --- trees ------------------------------------------------------------------
gen="$out/make_corpus"
if [ ! -x "$gen" ] || [ "$here/make_corpus.cpp" -nt "$gen" ]; then
    g++ -std=c++17 -O2 -o "$gen" "$here/make_corpus.cpp"
fi
# The many-small corpus, and a many-file tree: the same distribution at
# 1 byte to 10 KiB, scaled to the file count asked for. Copies of both are
# what the 1 % change is made on, so the corpora stay as generated.
"$gen" --kind small --out "$out" --scale "$scale" --size-scale "$size_scale" >&2
many_scale=$(python3 -c "print($many / 100000)")
"$gen" --kind small --out "$out/many" --scale "$many_scale" --size-scale 0.01 >&2

can_drop=0
if [ "$cold" = 1 ]; then
    if sync && { echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null; then
        can_drop=1
    else
        log "cannot write /proc/sys/vm/drop_caches: no cold runs"
    fi
fi

work=$(mktemp -d "$out/cache-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/xdg"  # never the user's cache
store="$XDG_CACHE_HOME/clonesifter/digests.sqlite"

# Seconds one command takes, its output thrown away.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    python3 -c "print(f'{$end - $start:.3f}')"
}
drop() { sync; echo 3 >/proc/sys/vm/drop_caches; }
# The median of `runs` timings of a command; with "cold" first, each
# after dropping the page cache.
median() {
    local mode=$1; shift
    local times=()
    for _ in $(seq "$runs"); do
        [ "$mode" = cold ] && drop
        times+=("$(seconds "$@")")
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}
ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }

scan() { "$bin" --preset 4 -q --lines "$@"; }
none() { scan --contents none "$1"; }
cached() { scan --cache "$1"; }
uncached() { scan "$1"; }

rows=()
row() { rows+=("$(printf '%-11s %-44s %9s %9s %7s %s' "$@")"); }

# Changes 1 % of the candidates (regular files of at least one byte): a
# third rewritten at their size with the old modification time put back,
# a third renamed, a third touched. Prints the files whose contents are to
# be read again, one per line.
change_one_percent() {
    python3 - "$1" <<'EOF'
import os, random, sys
root = sys.argv[1]
files = []
for d, _, names in os.walk(root):
    for n in names:
        p = os.path.join(d, n)
        st = os.lstat(p)
        if os.path.isfile(p) and not os.path.islink(p) and st.st_size > 0 and st.st_nlink == 1:
            files.append(p)
files.sort()
rng = random.Random(27)
picked = rng.sample(files, max(3, len(files) // 100))
for i, p in enumerate(picked):
    st = os.stat(p)
    if i % 3 == 0:
        with open(p, "r+b") as f:
            f.write(os.urandom(min(st.st_size, 4096)))
        os.utime(p, ns=(st.st_atime_ns, st.st_mtime_ns))
        print(p)
    elif i % 3 == 1:
        q = p + ".moved"
        os.rename(p, q)
        print(q)
    else:
        os.utime(p, None)
        print(p)
EOF
}

bench_tree() {
    local name=$1 tree=$2 changeable=$3
    local files
    files=$(find "$tree" -type f -size +0 2>/dev/null | wc -l)
    log "$name: $tree ($files files)"
    rm -rf "$XDG_CACHE_HOME"

    # First scans with an empty cache and without one, taken in turns so
    # that a change in the machine's load falls on both.
    local t_plain t_first
    uncached "$tree" >/dev/null 2>&1
    local firsts=() plains=()
    for _ in $(seq "$runs"); do
        rm -rf "$XDG_CACHE_HOME"
        firsts+=("$(seconds cached "$tree")")
        plains+=("$(seconds uncached "$tree")")
    done
    t_first=$(printf '%s\n' "${firsts[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    t_plain=$(printf '%s\n' "${plains[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    row "$name" "first scan with --cache / without" "$t_first" "$t_plain" "$(ratio "$t_first" "$t_plain")" ""

    local entries bytes
    # Rows, and packed entries of 69 bytes (src/cli/cache_store.cpp).
    entries=$(python3 -c "import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); print(c.execute('select count(*) from contents').fetchone()[0] + c.execute('select coalesce(sum(length(entries)), 0) / 69 from packed').fetchone()[0])" "$store")
    bytes=$(stat -c %s "$store")
    row "$name" "cache bytes per entry ($entries entries)" "$bytes" "$entries" "$(ratio "$bytes" "$entries")" "bytes/file scanned: $(ratio "$bytes" "$files")"

    # Unchanged rescans, warm then cold, against the none scan.
    local t_none t_warm
    none "$tree" >/dev/null 2>&1
    t_none=$(median warm none "$tree")
    t_warm=$(median warm cached "$tree")
    row "$name" "warm rescan / --contents none" "$t_warm" "$t_none" "$(ratio "$t_warm" "$t_none")" ""
    if [ "$can_drop" = 1 ]; then
        local c_none c_warm
        c_none=$(median cold none "$tree")
        c_warm=$(median cold cached "$tree")
        row "$name" "cold rescan / cold --contents none" "$c_warm" "$c_none" "$(ratio "$c_warm" "$c_none")" ""
    fi

    # The peers have no cache: their second run.
    local p t_peer
    for p in $peers; do
        case $p in
            jdupes) set -- jdupes -r -q "$tree" ;;
            fdupes) set -- fdupes -r -n -q "$tree" ;;
            rdfind) set -- rdfind -dryrun true -outputname "$work/rdfind.txt" "$tree" ;;
            rmlint) set -- rmlint -T df -o "json:$work/rmlint.json" "$tree" ;;
        esac
        "$@" >/dev/null 2>&1 || true
        t_peer=$(seconds "$@")
        row "$name" "$p second run / our warm rescan" "$t_peer" "$t_warm" "$(ratio "$t_peer" "$t_warm")" ""
    done

    [ "$changeable" = 1 ] || return 0
    # 1 % changed, on a copy: the rescan must say what an uncached scan
    # says, in no more than the none time plus reading what changed.
    local copy="$work/copy"
    rm -rf "$copy"
    cp -a "$tree" "$copy"
    rm -rf "$XDG_CACHE_HOME"
    cached "$copy" >/dev/null 2>&1
    local changed="$work/changed.txt"
    change_one_percent "$copy" >"$changed"
    local t_read t_rescan t_none_copy same
    t_read=$(seconds xargs -d '\n' cat <"$changed")
    # The rescan changes the store: each timed one starts from the store
    # as the change found it, and the median is taken as elsewhere.
    local saved="$work/store-before"
    rm -rf "$saved"
    cp -a "$XDG_CACHE_HOME/clonesifter" "$saved"
    local start end rescans=()
    for _ in $(seq "$runs"); do
        rm -rf "$XDG_CACHE_HOME/clonesifter"
        cp -a "$saved" "$XDG_CACHE_HOME/clonesifter"
        start=$(date +%s.%N)
        cached "$copy" >"$work/rescan.txt" 2>/dev/null
        end=$(date +%s.%N)
        rescans+=("$(python3 -c "print(f'{$end - $start:.3f}')")")
    done
    t_rescan=$(printf '%s\n' "${rescans[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    rm -rf "$saved"
    t_none_copy=$(median warm none "$copy")
    if cmp -s "$work/rescan.txt" <(uncached "$copy" 2>/dev/null); then
        same="same groups as uncached"
    else
        same="DIFFERENT GROUPS FROM UNCACHED"
    fi
    local budget
    budget=$(python3 -c "print(f'{$t_none_copy + $t_read:.3f}')")
    row "$name" "1 % changed: rescan / (none $t_none_copy + read $t_read)" "$t_rescan" "$budget" "$(ratio "$t_rescan" "$budget")" "$same ($(wc -l <"$changed") files)"
    rm -rf "$copy"
}

[ -n "$real" ] && bench_tree "$(basename "$real")" "$real" 0
bench_tree "many-small" "$out/small" 1
bench_tree "many-files" "$out/many/small" 1

printf '\n%-11s %-44s %9s %9s %7s %s\n' tree measure a b a/b note
printf '%s\n' "${rows[@]}"
echo
echo "goals: rescans <= 1.30 of the none scan (warm and cold); 1 % changed <= 1.00 of"
echo "none + read; first scan with the cache <= 1.15; <= 120 bytes per file."
echo "clonesifter-cli: $bin; --preset 4 (same size, exact contents); $runs runs a cell, median;"
echo "none scan: --preset 4 --contents none; cold: $([ "$can_drop" = 1 ] && echo "after drop_caches" || echo "not run")"
