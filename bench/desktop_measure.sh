#!/bin/bash
# The measuring half of bench/desktop.sh, run on its private display: the
# Wine server must start on the display, or the desktop program could not
# open a window on it. Reads the trees and folders from CS_BENCH_* and
# prints the table.
set -euo pipefail

build=$CS_BENCH_BUILD
work=$CS_BENCH_WORK
run_wine="sh $CS_BENCH_REPO/scripts/wine-run.sh"
cli=$build/src/clonesifter-cli.exe
driver=$build/tests/app/cs_bench_driver.exe
results=$CS_BENCH_RESULTS
mkdir -p "$results"

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

# Runs the command line under Wine CS_BENCH_RUNS times; prints the median
# "seconds peak_kib" of the runs. The peak is the kernel's peak resident
# size of the process (GNU time's maximum resident set size: the Windows
# program runs in the process Wine starts).
timed_cli() {
    local out=$1
    shift
    local start end run
    : >"$results/runs.txt"
    for run in $(seq "${CS_BENCH_RUNS:-1}"); do
        start=$(date +%s.%N)
        /usr/bin/time -f '%M' -o "$results/time.txt" $run_wine "$cli" "$@" >"$out" 2>"$out.err" ||
            true
        end=$(date +%s.%N)
        printf '%s %s\n' "$(echo "$end - $start" | bc)" "$(tail -n 1 "$results/time.txt")" \
            >>"$results/runs.txt"
    done
    sort -n "$results/runs.txt" | sed -n "$(( (${CS_BENCH_RUNS:-1} + 1) / 2 ))p"
}

# The driver's lines end in CR LF.
value() { tr -d '\r' <"$2" | sed -n "s/^$1=//p" | tail -n 1; }
# A cell the driver did not measure (no rows to tick) reads "-".
ratio() { if [ -n "$1" ] && [ -n "$2" ]; then echo "scale=2; $1 / $2" | bc; else echo -; fi; }

printf '%-28s %8s %8s %6s %8s %8s %6s %9s %5s %8s %8s %6s\n' tree cli_s gui_s ratio cli_MiB \
    gui_MiB ratio wm_null_ms late ctrlB_s select_s ratio >"$results/table.txt"
while IFS= read -r tree; do
    [ -n "$tree" ] || continue
    root=$(windows_path "$tree")
    name=$tree
    case $tree in "$work"/*) name=${tree#"$work"/} ;; esac
    echo "== $name: warm-up" >&2
    CS_BENCH_RUNS=1 timed_cli "$results/warm.json" --json --quiet "$root" >/dev/null
    echo "== $name: command line" >&2
    read -r cli_s cli_kib < <(timed_cli "$results/cli.json" --json --quiet "$root")
    echo "== $name: desktop program" >&2
    $run_wine "$driver" "$root" --select >"$results/gui.txt" 2>"$results/gui.err" || {
        echo "!! the driver failed on $name:" >&2
        cat "$results/gui.txt" "$results/gui.err" >&2
        continue
    }
    echo "== $name: command line, --select keep-first" >&2
    read -r select_s _ < <(CS_BENCH_RUNS=1 timed_cli "$results/select.json" --select keep-first \
        --json --quiet "$root")
    gui_s=$(value scan_seconds "$results/gui.txt")
    gui_kib=$(value peak_kib "$results/gui.txt")
    ctrl_b=$(value select_seconds "$results/gui.txt")
    printf '%-28s %8.2f %8.2f %6s %8.1f %8.1f %6s %9s %5s %8s %8.2f %6s\n' "$name" "$cli_s" \
        "$gui_s" "$(ratio "$gui_s" "$cli_s")" "$(echo "$cli_kib / 1024" | bc -l)" \
        "$(echo "$gui_kib / 1024" | bc -l)" "$(ratio "$gui_kib" "$cli_kib")" \
        "$(value longest_ping_ms "$results/gui.txt")" "$(value late_pings "$results/gui.txt")" \
        "${ctrl_b:--}" "$select_s" "$(ratio "$ctrl_b" "$select_s")" >>"$results/table.txt"
    late_at=$(value late_at "$results/gui.txt")
    [ -z "$late_at" ] || printf '    late answers (seconds after the press:ms): %s\n' "$late_at" \
        >>"$results/table.txt"
    printf '    rows on the list: %s; the command line: %s\n' "$(value rows "$results/gui.txt")" \
        "$(python3 -c 'import json, sys
d = json.load(open(sys.argv[1]))
groups = d["folder_groups"] + d["file_groups"]
members = sum(len(g["members"]) for g in groups)
print("%d groups, %d members, %d zero-byte files" % (len(groups), members, len(d["zero_byte_files"])))' \
            "$results/cli.json")" >>"$results/table.txt"
done <<<"$CS_BENCH_TREES"

echo "== removal: the desktop program on one copy, the command line on the other" >&2
$run_wine "$driver" "$(windows_path "$work/removal-gui")" --preset 4 --select --remove \
    >"$results/removal.txt" 2>"$results/removal.err" || cat "$results/removal.err" >&2
read -r cli_remove _ < <(CS_BENCH_RUNS=1 timed_cli "$results/remove.txt" --preset 4 --select keep-first \
    --remove delete --yes --quiet "$(windows_path "$work/removal-cli")")
gui_remove=$(value remove_seconds "$results/removal.txt")
left_gui=$(cd "$work/removal-gui" && find . -type f | sort | md5sum | cut -c1-12)
left_cli=$(cd "$work/removal-cli" && find . -type f | sort | md5sum | cut -c1-12)

{
    echo
    echo "Scan: from \"Start the scan now\" to the end tip (gui_s) against the command line's"
    echo "run with --json --quiet (cli_s), goal <= 1.3x or within 0.5 s; peak resident size"
    echo "(VmHWM) of the two processes, goal <= 2x; the progress dialog's longest answer to"
    echo "WM_NULL sent every 100 ms, and how many took over 200 ms (goal: none); Ctrl+B on the"
    echo "scan's rows against --select keep-first, goal <= 2x."
    cat "$results/table.txt"
    echo
    printf 'Removal, permanent, on a copy of the groups corpus: desktop %s s from Yes to the\n' \
        "$gui_remove"
    printf 'report, command line %s s (--preset 4 --select keep-first --remove delete --yes);\n' \
        "$cli_remove"
    printf 'ratio %s (goal <= 2x). Files left: desktop %s, command line %s (%s).\n' \
        "$(ratio "$gui_remove" "$cli_remove")" "$(find "$work/removal-gui" -type f | wc -l)" \
        "$(find "$work/removal-cli" -type f | wc -l)" \
        "$([ "$left_gui" = "$left_cli" ] && echo "the same files" || echo "DIFFERENT files")"
    printf 'Desktop report: %s\n' "$(value report "$results/removal.txt")"
}
