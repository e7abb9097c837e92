#!/usr/bin/env python3
"""Compiles every source of a build that calls WriteLog or WriteSilent once more, with
its own command from compile_commands.json, syntax only and with -Wformat=2 (less the
non-literal and empty-format warnings), and
prints the format warnings (-Wformat*) found. Exit code 1 when there is one.
Usage: format_callers.py <build folder> <repository root>"""
import json
import os
import re
import shlex
import subprocess
import sys

CALL = re.compile(r"(->|\.)\s*(WriteLog|WriteSilent)\s*\(")
WARNING = re.compile(r"warning: .*\[-Wformat[^\]]*\]")


def syntax_only(command):
    """The compile command, checking syntax only, with format warnings on."""
    args = shlex.split(command)
    out = []
    skip = False
    for a in args:
        if skip:
            skip = False
            continue
        if a == "-o":
            skip = True
            continue
        if a in ("-c", "-Werror") or a.startswith("-MF") or a in ("-MD", "-MT"):
            continue
        out.append(a)
    # The suites feed formats from tables (not literals) and an empty format on purpose.
    return out + ["-fsyntax-only", "-Wformat=2", "-Wno-format-nonliteral", "-Wno-format-zero-length"]


def main():
    build, top = sys.argv[1], os.path.realpath(sys.argv[2])
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    seen, found, checked = set(), 0, 0
    for e in entries:
        src = os.path.realpath(os.path.join(e["directory"], e["file"]))
        if src in seen or not src.startswith(top + os.sep) or "/build/" in src[len(top):]:
            continue
        seen.add(src)
        with open(src, errors="replace") as f:
            if not CALL.search(f.read()):
                continue
        checked += 1
        r = subprocess.run(syntax_only(e["command"]), cwd=e["directory"], capture_output=True, text=True)
        for line in r.stderr.splitlines():
            if WARNING.search(line):
                print(line)
                found += 1
        if r.returncode != 0:
            print("%s: does not compile\n%s" % (src, r.stderr[-800:]))
            found += 1
    print("checked %d sources, %d format warnings" % (checked, found))
    return 1 if found or checked == 0 else 0


sys.exit(main())
