#!/usr/bin/env python3
"""Reads each tool's duplicate report into one comparable form and checks them.

Every report becomes a set of duplicate sets. A path is reduced to its file
identity (device, inode), so hard links count once whatever a tool's policy is:
some tools list every link of a file, some list one, some none. A set left
with fewer than two identities after that is dropped, and so is every
zero-byte file. Paths are shown relative to the corpus tree.

    dupsets.py compare --root TREE --expected expected.json NAME=FORMAT:FILE ...
    dupsets.py compare --root TREE --reference NAME NAME=FORMAT:FILE ...
    dupsets.py summary times.tsv

FORMAT is one of clonesifter, jdupes, fdupes, rmlint, rdfind. compare exits 1
when any report differs from the expected sets (or from the reference
report, for a tree with no expected.json). summary prints the medians,
ratios and goals of a run.sh results table.
"""

import argparse
import json
import os
import statistics
import sys


def read_blank_line_groups(path):
    """jdupes and fdupes: one path per line, sets separated by an empty line."""
    groups, cur = [], []
    with open(path, "rb") as f:
        for raw in f:
            line = raw.rstrip(b"\n")
            if line.endswith(b"\r"):
                line = line[:-1]
            if not line:
                if cur:
                    groups.append(cur)
                cur = []
            else:
                cur.append(os.fsdecode(line))
    if cur:
        groups.append(cur)
    return groups


def read_clonesifter(path):
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    if doc.get("cancelled"):
        raise ValueError("clonesifter reported a cancelled scan")
    # Members carry their path; early versions listed bare paths.
    return [[m["path"] for m in g["members"]] if "members" in g else g["paths"]
            for g in doc.get("file_groups", [])]


def read_rmlint(path):
    # Sets share a checksum; a set of hard links only has no checksum, so
    # those fall back to the inode they share.
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    by_key = {}
    for item in doc:
        if item.get("type") != "duplicate_file":
            continue
        key = item.get("checksum") or ("inode", item.get("disk_id"), item.get("inode"))
        by_key.setdefault((item.get("size"), key), []).append(item["path"])
    return list(by_key.values())


def read_rdfind(path):
    # "duptype id depth size device inode priority name": the first
    # occurrence carries +id, its duplicates -id; the name may hold spaces.
    by_id = {}
    with open(path, "rb") as f:
        for raw in f:
            line = os.fsdecode(raw.rstrip(b"\n"))
            if not line or line.startswith("#"):
                continue
            fields = line.split(" ", 7)
            if len(fields) < 8:
                raise ValueError("unexpected rdfind line: %r" % line)
            by_id.setdefault(abs(int(fields[1])), []).append(fields[7])
    return list(by_id.values())


def read_expected(path, root):
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    return [[os.path.join(root, p) for p in s] for s in doc["duplicate_sets"]]


READERS = {
    "clonesifter": read_clonesifter,
    "jdupes": read_blank_line_groups,
    "fdupes": read_blank_line_groups,
    "rmlint": read_rmlint,
    "rdfind": read_rdfind,
}


class Identities:
    """Maps paths to (dev, ino), remembering one display name per identity."""

    def __init__(self, root):
        self.root = os.path.realpath(root)
        self.names = {}
        self.cache = {}

    def key(self, path):
        full = os.path.realpath(path if os.path.isabs(path) else os.path.join(os.getcwd(), path))
        if full in self.cache:
            return self.cache[full]
        st = os.lstat(full)
        ident = (st.st_dev, st.st_ino, st.st_size)
        rel = os.path.relpath(full, self.root)
        # The smallest name is kept so the display does not depend on which
        # link a tool happened to print.
        if ident not in self.names or rel < self.names[ident]:
            self.names[ident] = rel
        self.cache[full] = ident
        return ident

    def name(self, ident):
        return self.names[ident]


def normalise(groups, ids):
    sets = set()
    seen = {}
    for g in groups:
        members = frozenset(ids.key(p) for p in g)
        members = frozenset(m for m in members if m[2] > 0)
        if len(members) < 2:
            continue
        for m in members:
            if m in seen and seen[m] != members:
                raise ValueError("file %s is in two different sets" % ids.name(m))
            seen[m] = members
        sets.add(members)
    return sets


def describe(s, ids):
    return "[" + ", ".join(sorted(ids.name(m) for m in s)) + "]"


def compare(args):
    ids = Identities(args.root)
    reports = []
    for spec in args.reports:
        name, _, rest = spec.partition("=")
        fmt, _, path = rest.partition(":")
        if fmt not in READERS or not path:
            sys.exit("bad report spec %r (want NAME=FORMAT:FILE)" % spec)
        try:
            reports.append((name, normalise(READERS[fmt](path), ids), None))
        except (OSError, ValueError, KeyError, TypeError) as e:
            reports.append((name, None, e))
    if args.expected:
        expected = normalise(read_expected(args.expected, args.root), ids)
        label = "expected"
    else:
        ref = [r for r in reports if r[0] == args.reference]
        if not ref or ref[0][1] is None:
            print("  reference report %r is missing or unreadable" % args.reference)
            return 1
        expected = ref[0][1]
        label = "reference " + args.reference
    n_files = sum(len(s) for s in expected)
    print("  %s: %d duplicate sets, %d files in them" % (label, len(expected), n_files))
    ok = True
    for name, got, err in reports:
        if err is not None:
            print("  %-12s UNREADABLE: %s" % (name, err))
            ok = False
            continue
        missing = expected - got
        extra = got - expected
        if not missing and not extra:
            print("  %-12s agrees (%d sets)" % (name, len(got)))
            continue
        ok = False
        print("  %-12s DIFFERS: %d sets, %d expected sets missing, %d unexpected sets"
              % (name, len(got), len(missing), len(extra)))
        for label, which in (("missing", missing), ("unexpected", extra)):
            for s in sorted(which, key=lambda s: describe(s, ids))[: args.show]:
                print("      %s %s" % (label, describe(s, ids)))
            if len(which) > args.show:
                print("      ... and %d more %s" % (len(which) - args.show, label))
    return 0 if ok else 1


# Goals: (corpus, mode, peers, highest clonesifter/peer ratio). With several
# peers the ratio is taken to the fastest of them.
FASTEST_PEERS = ("jdupes", "fdupes", "rdfind")
RATIO_GOALS = [
    ("real", "warm", FASTEST_PEERS, 0.7),
    ("real", "cold", FASTEST_PEERS, 0.6),
    ("small", "cold", ("jdupes",), 0.5),
    ("large", "warm", ("jdupes",), 1.0),
    ("large", "cold", ("jdupes",), 0.5),
    ("pair", "warm", ("jdupes",), 1.0),
    ("pair", "cold", ("jdupes",), 1.0),
    ("pair-sparse", "warm", ("jdupes",), 1.0),
    ("pair-sparse", "cold", ("jdupes",), 1.0),
]
# Every run, not the median: (corpus, mode, peer, goal, runs at least).
EVERY_RUN_GOALS = [("small", "warm", "jdupes", 0.7, 5)]
DOUBLING_GOAL = 2.1
# Peak memory: (corpus, peer or None, highest ratio to the peer or MiB).
MEMORY_GOALS = [
    ("real", "jdupes", 1.25),
    ("small", None, 48),
    ("groups", "jdupes", 1.5),
]

CELL_NAMES = {
    "real": "real tree",
    "small": "small-file corpus",
    "half": "small-file corpus at half size",
    "doubled": "small-file corpus, timed beside half",
    "large": "large-file corpus",
    "groups": "200,000 tiny files in 50,000 groups of 4",
    "pair": "two equal 2 GiB files beside a third differing at 1 GiB",
    "pair-sparse": "the same, sparse",
}


def summary(args):
    rows = []
    with open(args.tsv, encoding="utf-8") as f:
        header = f.readline().rstrip("\n").split("\t")
        for line in f:
            rows.append(dict(zip(header, line.rstrip("\n").split("\t"))))
    timed = [r for r in rows if r["run"] != "warmup"]
    order = ["clonesifter", "jdupes", "rmlint", "fdupes", "rdfind"]
    cells = {}
    for r in timed:
        cells.setdefault((r["corpus"], r["mode"], r["tool"]), []).append(r)

    def med(corpus, mode, tool):
        rs = cells.get((corpus, mode, tool), [])
        good = [float(r["seconds"]) for r in rs if r["exit"] == "0"]
        return statistics.median(good) if good and len(good) == len(rs) else None

    def peak_mib(corpus, tool):
        rs = [r for r in rows if r["corpus"] == corpus and r["tool"] == tool]
        return max(int(r["max_rss_kib"] or 0) for r in rs) / 1024 if rs else None

    corpora = []
    for r in timed:
        if r["corpus"] not in corpora:
            corpora.append(r["corpus"])
    for corpus in corpora:
        for mode in ("warm", "cold"):
            tools = [t for t in order if (corpus, mode, t) in cells]
            tools += sorted({t for (c, m, t) in cells if c == corpus and m == mode} - set(tools))
            if not tools:
                continue
            n = max(len(cells[(corpus, mode, t)]) for t in tools)
            print("\n%s (%s), %s cache (median of %d runs)" % (
                corpus, CELL_NAMES.get(corpus, corpus), mode, n))
            print("  %-12s %9s %9s %9s %10s %14s" % ("tool", "median s", "min s", "max s", "peak MiB", "clonesifter/x"))
            cs = med(corpus, mode, "clonesifter")
            for t in tools:
                rs = cells[(corpus, mode, t)]
                secs = [float(r["seconds"]) for r in rs]
                rss = max(int(r["max_rss_kib"] or 0) for r in rs) / 1024
                failed = sum(1 for r in rs if r["exit"] != "0")
                m = med(corpus, mode, t)
                ratio = "%.2fx" % (cs / m) if cs is not None and m and t != "clonesifter" else ""
                note = "  (%d run(s) failed: exit %s)" % (failed, ",".join(sorted({r["exit"] for r in rs if r["exit"] != "0"}))) if failed else ""
                print("  %-12s %9s %9.3f %9.3f %10.1f %14s%s" % (
                    t, "%.3f" % m if m is not None else "-", min(secs), max(secs), rss, ratio, note))

    print("\ngoals")
    verdicts = []

    def verdict(ok):
        return "met" if ok else "NOT met"

    def record(text, ok):
        verdicts.append(ok)
        print("  %s %s" % (text, verdict(ok)))

    for corpus, mode, peers, goal in RATIO_GOALS:
        cs = med(corpus, mode, "clonesifter")
        measured = [(med(corpus, mode, p), p) for p in peers if med(corpus, mode, p) is not None]
        if cs is None or not measured:
            print("  %s %s <= %.1fx %s: not measured" % (corpus, mode, goal, "/".join(peers)))
            continue
        best, peer = min(measured)
        which = peer if len(peers) == 1 else "fastest peer (%s)" % peer
        record("%s %s: clonesifter/%s = %.2fx (goal <= %.1fx)" % (
            corpus, mode, which, cs / best, goal), cs / best <= goal)
    for corpus, mode, peer, goal, at_least in EVERY_RUN_GOALS:
        ours = {r["run"]: r for r in cells.get((corpus, mode, "clonesifter"), [])}
        theirs = {r["run"]: r for r in cells.get((corpus, mode, peer), [])}
        pairs = [(float(ours[k]["seconds"]) / float(theirs[k]["seconds"]), k)
                 for k in ours if k in theirs and ours[k]["exit"] == "0" and theirs[k]["exit"] == "0"
                 and float(theirs[k]["seconds"]) > 0]
        if not pairs:
            print("  %s %s <= %.1fx %s in every run: not measured" % (corpus, mode, goal, peer))
            continue
        worst = max(pairs)
        enough = len(pairs) >= at_least
        record("%s %s: clonesifter/%s in every run: worst %.2fx (run %s) of %d runs%s (goal <= %.1fx)" % (
            corpus, mode, peer, worst[0], worst[1], len(pairs),
            "" if enough else ", fewer than %d" % at_least, goal), worst[0] <= goal and enough)
    for mode in ("warm", "cold"):
        for tool in order:
            # The small corpus timed beside half when there is one (older
            # results have only the small cell).
            full = med("doubled", mode, tool)
            if full is None:
                full = med("small", mode, tool)
            half = med("half", mode, tool)
            if full is None or half is None:
                continue
            ratio = full / half
            if tool == "clonesifter":
                record("doubling, %s: small/half = %.2fx (goal <= %.1fx)" % (
                    mode, ratio, DOUBLING_GOAL), ratio <= DOUBLING_GOAL)
            else:
                print("  doubling, %s, %s for reference: %.2fx" % (mode, tool, ratio))
    for corpus, peer, goal in MEMORY_GOALS:
        ours = peak_mib(corpus, "clonesifter")
        if ours is None:
            print("  peak memory on %s: not measured" % corpus)
            continue
        if peer is None:
            record("peak memory on %s: clonesifter %.1f MiB (goal <= %d MiB)" % (
                corpus, ours, goal), ours <= goal)
            continue
        theirs = peak_mib(corpus, peer)
        if not theirs:
            print("  peak memory on %s against %s: not measured" % (corpus, peer))
            continue
        record("peak memory on %s: clonesifter %.1f MiB, %s %.1f MiB = %.2fx (goal <= %.2fx)" % (
            corpus, ours, peer, theirs, ours / theirs, goal), ours / theirs <= goal)
    print("\npeak memory of each tool (MiB, largest run of the cell)")
    for corpus in corpora:
        tools = [t for t in order if any(r["corpus"] == corpus and r["tool"] == t for r in rows)]
        print("  %-12s %s" % (corpus, "  ".join("%s %.1f" % (t, peak_mib(corpus, t)) for t in tools)))
    print("\n%d of %d measured goals met" % (sum(verdicts), len(verdicts)))
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="cmd", required=True)
    c = sub.add_parser("compare")
    c.add_argument("--root", required=True, help="the corpus tree the tools scanned")
    which = c.add_mutually_exclusive_group(required=True)
    which.add_argument("--expected", help="expected.json written by make_corpus")
    which.add_argument("--reference", help="name of the report the others must match")
    c.add_argument("--show", type=int, default=5, help="differences to print per kind")
    c.add_argument("reports", nargs="*", help="NAME=FORMAT:FILE")
    sm = sub.add_parser("summary")
    sm.add_argument("tsv", help="times.tsv written by run.sh")
    args = ap.parse_args()
    sys.exit(compare(args) if args.cmd == "compare" else summary(args))


if __name__ == "__main__":
    main()
