#!/usr/bin/env bash
# Times clonesifter-cli against the duplicate finders Debian ships (jdupes,
# rmlint, fdupes, rdfind) on generated corpora, checks that every tool finds
# the same duplicate sets, and prints medians, ratios and the goals.
# See bench/README.md. Needs root for apt-get and for cold-cache runs.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)

runs=3
scale=1
size_scale=1
corpora="small large groups pair pair-sparse"
tools="clonesifter jdupes rmlint fdupes rdfind"
doubling_tools="clonesifter jdupes"
# The cells whose goals name jdupes alone time only it beside us.
jdupes_cells="groups pair pair-sparse"
# "Stable over 5 runs": the small corpus warm gets at least that many.
small_warm_runs=5
out="$here/out"
cold=1
doubling=1
bin=""
real=""
real_given=0
seed=20240601
timeout_s=3600

usage() {
    cat <<EOF
usage: bench/run.sh [options]
  --runs N            timed runs per tool and mode (default $runs)
  --scale F           multiply every corpus's file count (default 1; 0.01 for a smoke test)
  --size-scale F      multiply every file size (default 1)
  --corpora "LIST"    among: small large groups pair pair-sparse (default "$corpora")
  --tools "LIST"      among: clonesifter jdupes rmlint fdupes rdfind (default all)
  --real DIR          the existing tree to time (default /usr when it exists; checked
                      tool against tool)
  --no-real           skip the existing tree
  --out DIR           where corpora and results go (default bench/out)
  --bin PATH          clonesifter-cli to use instead of building build/bench
  --seed N            corpus seed (default $seed)
  --timeout S         give up on one run after S seconds (default $timeout_s)
  --no-cold           skip cold-cache runs
  --no-doubling       skip the half-size corpus
EOF
}

while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        --scale) scale=$2; shift 2 ;;
        --size-scale) size_scale=$2; shift 2 ;;
        --corpora) corpora=$2; shift 2 ;;
        --tools) tools=$2; shift 2 ;;
        --real) real=$(cd "$2" && pwd); real_given=1; shift 2 ;;
        --no-real) real=""; real_given=1; shift ;;
        --out) mkdir -p "$2"; out=$(cd "$2" && pwd); shift 2 ;;
        --bin) bin=$(realpath "$2"); shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --timeout) timeout_s=$2; shift 2 ;;
        --no-cold) cold=0; shift ;;
        --no-doubling) doubling=0; shift ;;
        -h|--help) usage; exit 0 ;;
        *) echo "unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
done

log() { printf '==> %s\n' "$*"; }
# A full run times /usr as the real tree; a scaled-down run is a smoke test
# and leaves it out unless asked.
if [ "$real_given" = 0 ] && [ -d /usr ]; then
    if [ "$scale" = 1 ] && [ "$size_scale" = 1 ]; then
        real=/usr
    else
        log "scaled run: the real tree is left out (--real /usr times it)"
    fi
fi
has_tool() { case " $tools " in *" $1 "*) return 0 ;; esac; return 1; }

# --- packages ---------------------------------------------------------------
# Native build of the CLI plus the peers. --no-install-recommends keeps
# rmlint's GUI out.
need="jdupes rmlint fdupes rdfind time python3 coreutils g++ cmake ninja-build pkg-config
libpcre2-dev libssl-dev libcli11-dev nlohmann-json3-dev"
missing=""
for p in $need; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "missing packages:$missing (run as root so apt-get can install them)" >&2
        exit 1
    fi
    log "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
py=/usr/bin/python3

mkdir -p "$out"

# --- clonesifter-cli --------------------------------------------------------
if has_tool clonesifter && [ -z "$bin" ]; then
    log "building clonesifter-cli (Release, build/bench)"
    if { [ -f "$repo/build/bench/build.ninja" ] ||
            cmake -S "$repo" -B "$repo/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
                -DCLONESIFTER_TESTS=OFF >"$out/build.log" 2>&1; } &&
        cmake --build "$repo/build/bench" -j 2 --target clonesifter-cli >>"$out/build.log" 2>&1; then
        bin=$(find "$repo/build/bench" -name clonesifter-cli -type f -perm -u+x | head -n 1)
    fi
    if [ -z "$bin" ]; then
        echo "!! clonesifter-cli did not build (see $out/build.log; scripts/setup.sh installs" \
            "everything the project needs); timing the peers only" >&2
        tools=$(echo " $tools " | sed 's/ clonesifter / /; s/^ *//; s/ *$//')
    fi
fi
[ -n "$bin" ] && log "clonesifter-cli: $bin"

# --- corpora ----------------------------------------------------------------
gen="$out/make_corpus"
if [ ! -x "$gen" ] || [ "$here/make_corpus.cpp" -nt "$gen" ]; then
    log "compiling make_corpus"
    g++ -std=c++17 -O2 -o "$gen" "$here/make_corpus.cpp"
fi
log "disk space:"
df -h "$out" | sed 's/^/    /'

kinds="$corpora"
if [ "$doubling" = 1 ] && [[ " $corpora " == *" small "* ]]; then kinds="$kinds half"; fi
for k in $kinds; do
    "$gen" --kind "$k" --out "$out" --seed "$seed" --scale "$scale" --size-scale "$size_scale"
done

# --- timing -----------------------------------------------------------------
can_drop=0
if [ "$cold" = 1 ]; then
    if sync && { echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null; then
        can_drop=1
    else
        echo "!! cannot write /proc/sys/vm/drop_caches (needs root outside a restricted" \
            "container): skipping cold-cache runs" >&2
    fi
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
res="$out/results-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$res"
tsv="$res/times.tsv"
printf 'corpus\tmode\ttool\trun\tseconds\tmax_rss_kib\texit\n' >"$tsv"

# Each tool lists duplicates without touching anything, skips zero-byte
# files, and keeps its default hard-link policy (the check reduces paths to
# inodes, so that policy cannot change the verdict):
#   clonesifter  --preset 4: same size and exact contents, recursive.
#   jdupes -r    recursive; zero-length files are excluded without -z; hard
#                links are not matched without -H. -q: no progress output.
#   rmlint -T df only the duplicate-file search (its default lint types would
#                also hunt empty dirs, bad uids etc.); --size default "1"
#                excludes empty files; -o json:FILE replaces its default
#                outputs (including the rmlint.sh removal script).
#   fdupes -r -n recursive, -n excludes zero-length files (counted by
#                default); -q: no progress output.
#   rdfind       -dryrun true changes nothing; -ignoreempty true (default)
#                skips empty files; -removeidentinode true (default) keeps
#                one path per inode; the duplicate list goes to -outputname.
tool_cmd() { # tool root report -> prints the command as words, one per line
    case "$1" in
        clonesifter) printf '%s\n' "$bin" --preset 4 --json --quiet "$2" ;;
        jdupes) printf '%s\n' jdupes -r -q "$2" ;;
        rmlint) printf '%s\n' rmlint -T df -o "json:$3" "$2" ;;
        fdupes) printf '%s\n' fdupes -r -n -q "$2" ;;
        rdfind) printf '%s\n' rdfind -dryrun true -outputname "$3" "$2" ;;
    esac
}

run_one() { # corpus mode tool run root
    local corpus=$1 mode=$2 tool=$3 run=$4 root=$5
    local stem="$res/$corpus.$mode.$tool.$run"
    local report="$stem.report"
    local -a cmd
    mapfile -t cmd < <(tool_cmd "$tool" "$root" "$report")
    rm -f "$report"
    if [ "$mode" = cold ]; then
        sync
        echo 3 >/proc/sys/vm/drop_caches
    fi
    local t0 t1 rc=0
    t0=$(date +%s%N)
    # Tools that write the report themselves still get stdout kept, for
    # their messages.
    if [ "$tool" = rmlint ] || [ "$tool" = rdfind ]; then
        /usr/bin/time -v -o "$stem.time" timeout "$timeout_s" "${cmd[@]}" >"$stem.stdout" 2>"$stem.stderr" || rc=$?
    else
        /usr/bin/time -v -o "$stem.time" timeout "$timeout_s" "${cmd[@]}" >"$report" 2>"$stem.stderr" || rc=$?
    fi
    t1=$(date +%s%N)
    local rss
    rss=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$stem.time")
    local secs
    secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$corpus" "$mode" "$tool" "$run" "$secs" "${rss:-0}" "$rc" >>"$tsv"
    printf '    %-6s %-5s %-12s run %-6s %8ss  %7s KiB  exit %s\n' "$corpus" "$mode" "$tool" "$run" "$secs" "${rss:-?}" "$rc"
    # Only the warm-up's report is checked; the timed runs' are dropped so
    # a full run does not keep many copies of large reports.
    [ "$run" = warmup ] || rm -f "$report"
}

bench_corpus() { # name root expected-or-empty tool-list
    local name=$1 root=$2 expected=$3 list=$4
    local warm_runs=$runs
    if [ "$name" = small ] && [ "$warm_runs" -lt "$small_warm_runs" ]; then warm_runs=$small_warm_runs; fi
    log "$name: $root"
    # Warm runs interleaved too, so each run of ours has a peer's run beside it.
    for t in $list; do run_one "$name" warm "$t" warmup "$root"; done
    for i in $(seq 1 "$warm_runs"); do
        for t in $list; do run_one "$name" warm "$t" "$i" "$root"; done
    done
    if [ "$can_drop" = 1 ]; then
        # Interleaved, so a slow drift of the machine hits every tool alike.
        for i in $(seq 1 "$runs"); do
            for t in $list; do run_one "$name" cold "$t" "$i" "$root"; done
        done
    fi
    log "$name: do the tools agree?"
    local -a reports=()
    for t in $list; do reports+=("$t=$t:$res/$name.warm.$t.warmup.report"); done
    if [ -n "$expected" ]; then
        "$py" "$here/dupsets.py" compare --root "$root" --expected "$expected" "${reports[@]}" |
            tee -a "$res/agreement.txt" || echo "!! $name: reports differ" | tee -a "$res/agreement.txt"
    else
        "$py" "$here/dupsets.py" compare --root "$root" --reference "${list%% *}" "${reports[@]}" |
            tee -a "$res/agreement.txt" || echo "!! $name: reports differ" | tee -a "$res/agreement.txt"
    fi
}

for k in $corpora; do
    list=$tools
    if [[ " $jdupes_cells " == *" $k "* ]]; then
        list=""
        for t in clonesifter jdupes; do has_tool "$t" && list="$list $t"; done
    fi
    bench_corpus "$k" "$out/$k/tree" "$out/$k/expected.json" "$list"
done
# Doubling compares two corpora, so their runs alternate as the tools' do:
# timed minutes apart, a drift of the machine between the small cell and
# this one would land in the ratio whole. Each run of half is followed by a
# run of the small corpus, recorded as "doubled".
bench_doubling() { # tool-list
    local list=$1 half="$out/half/tree" small="$out/small/tree"
    local warm_runs=$runs
    [ "$warm_runs" -lt "$small_warm_runs" ] && warm_runs=$small_warm_runs
    log "doubling: $half beside $small"
    for t in $list; do run_one half warm "$t" warmup "$half"; run_one doubled warm "$t" warmup "$small"; done
    for i in $(seq 1 "$warm_runs"); do
        for t in $list; do run_one half warm "$t" "$i" "$half"; run_one doubled warm "$t" "$i" "$small"; done
    done
    # A ratio of two medians: five runs each way, cold too, as one slow run
    # in three would move it by more than the margin of the goal.
    if [ "$can_drop" = 1 ]; then
        for i in $(seq 1 "$warm_runs"); do
            for t in $list; do run_one half cold "$t" "$i" "$half"; run_one doubled cold "$t" "$i" "$small"; done
        done
    fi
    log "half: do the tools agree?"
    local -a reports=()
    for t in $list; do reports+=("$t=$t:$res/half.warm.$t.warmup.report"); done
    "$py" "$here/dupsets.py" compare --root "$half" --expected "$out/half/expected.json" "${reports[@]}" |
        tee -a "$res/agreement.txt" || echo "!! half: reports differ" | tee -a "$res/agreement.txt"
}
if [ "$doubling" = 1 ] && [[ " $corpora " == *" small "* ]]; then
    dl=""
    for t in $doubling_tools; do has_tool "$t" && dl="$dl $t"; done
    [ -n "$dl" ] && bench_doubling "$dl"
fi
if [ -n "$real" ]; then
    bench_corpus real "$real" "" "$tools"
fi

log "summary (also in $res/summary.txt)"
commit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
dirty=$(git -C "$repo" status --porcelain 2>/dev/null | grep -qv '^??' && echo " (with uncommitted changes)" || true)
{
    echo "clonesifter at commit $commit$dirty; $(nproc) cores; load before the run: $load_before"
    echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
    "$py" "$here/dupsets.py" summary "$tsv"
} | tee "$res/summary.txt"
