#!/usr/bin/env python3
"""Checks what the central rsyslog wrote against the log files the host wrote: every entry and
every dump arrived exactly once, whole (its lines as in the file), in file order, with its time
(its fraction included), its thread where the stamp has one, and the sending host.
    central_check.py QWLOG CENTRAL_JSON HOST LOGFILE...
Prints one line per problem; exit status 1 when there is any."""
import json, subprocess, sys

qwlog, central, host = sys.argv[1:4]
files = sys.argv[4:]
problems = []
got = {}
for n, line in enumerate(open(central, encoding="utf-8", errors="surrogateescape")):
    try:
        m = json.loads(line)
    except ValueError:
        problems.append("central line %d is not JSON: %r" % (n + 1, line[:80])); continue
    if m.get("host") != host:
        problems.append("central line %d: host %r" % (n + 1, m.get("host")))
    got.setdefault(m.get("file"), []).append(m)
total = 0
for path in files:
    data = open(path, "rb").read()
    starts = [0] + [i + 1 for i, b in enumerate(data) if b == 10]
    records = [json.loads(l) for l in subprocess.run([qwlog, "json", path], capture_output=True, check=True).stdout.splitlines()]
    want = []
    for i, r in enumerate(records):
        if r["kind"] == "open":
            continue
        end = starts[records[i + 1]["line"] - 1] if i + 1 < len(records) else len(data)
        text = data[starts[r["line"] - 1]:end].rstrip(b"\r\n").decode("utf-8", "surrogateescape")
        want.append((r["time"], r.get("thread"), text))
    total += len(want)
    have = [(m.get("time"), m.get("thread"), m.get("text", "")) for m in got.pop(path, [])]
    if have != want:
        problems.append("%s: %d records written, %d arrived" % (path, len(want), len(have)))
        for k, (w, h) in enumerate(zip(want, have)):
            if w != h:
                problems.append("  first difference at record %d:\n    want %r\n    got  %r" % (k + 1, w[:2] + (w[2][:160],), h[:2] + (h[2][:160],))); break
for path, extra in got.items():
    problems.append("%d messages for a file no host wrote: %r" % (len(extra), path))
print("%d records in %d files checked" % (total, len(files)))
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
