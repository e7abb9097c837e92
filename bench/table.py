#!/usr/bin/env python3
"""Turns benchmark JSON (Google Benchmark's, or qw_winbench's in the same shape)
into one Markdown table: each case as median time per operation, as a ratio to
the floor (one write call of the same bytes) and to spdlog, all from one run.

    table.py RESULT.json [--title TEXT]
    table.py RESULT.json --expect NAMES   PASS/FAIL per case name listed in NAMES:
                                          it ran, without error, and has its row
"""
import argparse
import json
import re
import sys

FLOOR = re.compile(r"^floor_(write|WriteFile)1$")


CASE_ORDER = ["Entry", "Dump16", "Dump256", "Dump4096", "Entry2Threads", "EntrySync", "Dump256Sync"]
WRITER_ORDER = ["quillwork", "floor_write1", "floor_WriteFile1", "floor_write3", "floor_WriteFile3",
                "floor_write4n1", "floor_WriteFile4n1", "floor_format_write1", "floor_format_WriteFile1",
                "spdlog", "glog"]


def rank(order, name):
    return order.index(name) if name in order else len(order)


def rows_of(data):
    """(case, writer) -> {median, cv, bytes}, in the order of the file."""
    rows = {}
    for bench in data.get("benchmarks", []):
        if bench.get("run_type") != "aggregate":
            continue
        parts = bench["run_name"].split("/")
        key = (parts[0], parts[1])
        row = rows.setdefault(key, {})
        name = bench["aggregate_name"]
        if name == "median":
            row["median"] = bench["real_time"] * {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[bench["time_unit"]]
            row["bytes"] = bench.get("bytes")
        elif name == "cv":
            row["cv"] = bench["real_time"]
    return rows


def shown_time(ns):
    if ns >= 1e6:
        return "%.2f ms" % (ns / 1e6)
    if ns >= 1e5:
        return "%.0f µs" % (ns / 1e3)
    if ns >= 1e4:
        return "%.1f µs" % (ns / 1e3)
    return "%.2f µs" % (ns / 1e3)


def ratio(value, base):
    return "%.2f" % (value / base) if base else "-"


def case_title(case):
    m = re.match(r"^Dump(\d+)$", case)
    if m:
        return "WriteHex %s B" % m.group(1)
    return {"Entry": "WriteLog entry", "Entry2Threads": "WriteLog, 2 threads",
            "EntrySync": "WriteLog entry, SYNC=1 (floor: write + sync)",
            "Dump256Sync": "WriteHex 256 B, SYNC=1 (floor: write + sync)"}.get(case, case)


def table(rows):
    with_spdlog = any(w == "spdlog" for _, w in rows)
    lines = ["| case | writer | time/op | × floor |%s bytes/op | cv |" % (" × spdlog |" if with_spdlog else ""),
             "|---|---|---:|---:|%s---:|---:|" % ("---:|" if with_spdlog else "")]
    cases = sorted({case for case, _ in rows}, key=lambda c: (rank(CASE_ORDER, c), c))
    for case in cases:
        mine = sorted(((w, r) for (c, w), r in rows.items() if c == case and "median" in r),
                      key=lambda wr: (rank(WRITER_ORDER, wr[0]), wr[0]))
        floor = next((r["median"] for w, r in mine if FLOOR.match(w)), None)
        spd = next((r["median"] for w, r in mine if w == "spdlog"), None)
        for writer, row in mine:
            bytes_ = row.get("bytes")
            lines.append("| %s | %s | %s | %s |%s %s | %s |" % (
                case_title(case), writer, shown_time(row["median"]), ratio(row["median"], floor),
                (" %s |" % ratio(row["median"], spd)) if with_spdlog else "", "%d" % bytes_ if bytes_ else "-",
                "%.0f%%" % (100 * row["cv"]) if "cv" in row else "-"))
    return "\n".join(lines)


def expect(data, names_file):
    """Prints PASS or FAIL for each expected case; the number of FAILs."""
    rows = {}
    for bench in data.get("benchmarks", []):
        rows.setdefault(bench["run_name"], []).append(bench)
    failed = 0
    for name in (line.strip() for line in open(names_file)):
        if not name:
            continue
        runs = rows.get(name, [])
        good = any(b.get("aggregate_name") == "median" and b.get("real_time", 0) > 0 for b in runs) \
            and not any(b.get("error_occurred") for b in runs)
        failed += 0 if good else 1
        print("%s benchmark ran and gave its row: %s" % ("PASS" if good else "FAIL", name))
    return failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("result")
    parser.add_argument("--title", default="")
    parser.add_argument("--expect")
    args = parser.parse_args()
    with open(args.result) as f:
        data = json.load(f)
    if args.expect:
        sys.exit(1 if expect(data, args.expect) else 0)
    rows = rows_of(data)
    if not rows:
        sys.exit("no aggregate rows in %s (run with repetitions)" % args.result)
    if args.title:
        print("### " + args.title + "\n")
    print(table(rows))


if __name__ == "__main__":
    main()
