#!/usr/bin/env python3
"""A golden log cut after every byte: qwlog must keep every record before the cut, report a
record the cut falls inside as torn (exit status 1), and read a file cut between two
records cleanly (exit status 0).
    cuts.py QWLOG GOLDEN_DIR REL_PATH EXPECTED_JSONL [WRAPPER...]
By default the file is cut at every byte within 3 of a line's end (where the reader decides
what a line is), at every record's first bytes and at every fifth byte between; with
QW_FULL=1 (./run test --full) at every byte."""
import json, os, subprocess, sys, tempfile

qwlog, golden, rel, expected_path = sys.argv[1:5]
wrapper = sys.argv[5:]
data = open(os.path.join(golden, rel), "rb").read()
expected = [json.loads(l) for l in open(expected_path)]
line_starts = [0]
for i, b in enumerate(data):
    if b == 10:
        line_starts.append(i + 1)
starts = [line_starts[r["line"] - 1] for r in expected]
bounds = set(starts[1:]) | {0, len(data)}



def cut_places():
    """The lengths to cut the file at: every one, or in a short run those near a line's end
    or a record's start and every fifth between."""
    every = range(len(data) + 1)
    if os.environ.get("QW_FULL") == "1":
        return list(every)
    near = set()
    for s in line_starts + starts:
        near.update(range(max(0, s - 3), min(len(data), s + 3) + 1))
    return [k for k in every if k % 5 == 0 or k in near or k in bounds]


failures = []
places = cut_places()
with tempfile.TemporaryDirectory() as tmp:
    path = os.path.join(tmp, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    for k in places:
        open(path, "wb").write(data[:k])
        p = subprocess.run(wrapper + [qwlog, "json", rel], cwd=tmp, capture_output=True)
        if p.returncode not in (0, 1):
            failures.append((k, "exit status %d" % p.returncode)); continue
        got = [json.loads(l) for l in p.stdout.decode().splitlines()]
        whole = [r for r, s in zip(expected, starts) if s < k]
        if k in bounds:
            if p.returncode != 0 or got != whole or p.stderr:
                failures.append((k, "cut between records: %s" % p.stderr.decode().strip()))
            continue
        if (p.returncode == 0 and got[:-1] == whole[:-1] and got[-1].get("kind") == "entry"
                and whole[-1]["text"].startswith(got[-1]["text"]) and data[:k].rstrip(b"\r").endswith(b"\n")
                and data[:k].rstrip(b"\r")[:-1].rstrip(b"\r").endswith(b"\n")):
            continue  # cut right after an empty line inside a message: a whole entry, as far as anyone can tell
        before = whole[:-1]  # the record the cut falls inside is the last one begun
        torn = got[len(before):]
        ok = (p.returncode == 1 and b"torn last record" in p.stderr and got[:len(before)] == before
              and len(torn) <= 1 and all(r.get("torn") and r["line"] == whole[-1]["line"] for r in torn))
        if not ok:
            failures.append((k, "cut inside a record: rc %d, %s, %s" % (p.returncode, p.stderr.decode().strip(), torn)))
print("%s: %d cuts of %d, %d wrong" % (rel, len(places), len(data) + 1, len(failures)))
for k, what in failures[:10]:
    print("  cut at %d: %s" % (k, what))
sys.exit(1 if failures else 0)
