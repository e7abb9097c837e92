#!/usr/bin/env python3
"""The build's own proof that every caller of WriteLog or WriteSilent is free of format
warnings: each such source of the build was compiled (compile_commands.json) with the
format checks as errors, so the build that made it could not have passed with one; and
those flags do bite: a wrong call compiled with one caller's own command fails with a
format error. Exit code 1 when a caller lacks a flag, none was found, or the wrong call
compiles.
Usage: format_callers.py <build folder> <repository root>"""
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

CALL = re.compile(r"(->|\.)\s*(WriteLog|WriteSilent)\s*\(")
NEEDED = ["-Wformat=2", "-Werror=format", "-Werror=format-security"]
WRONG = '#include "Quillwork.h"\nvoid Use(ILogObject* pLog)\n{\n    pLog->WriteLog("%d", 1.5);\n}\n'


def callers(build, top):
    """The (source, entry) pairs of the build's sources under top that call a formatting slot."""
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    seen = set()
    for e in entries:
        src = os.path.realpath(os.path.join(e["directory"], e["file"]))
        if src in seen or not src.startswith(top + os.sep) or "/build/" in src[len(top):]:
            continue
        seen.add(src)
        with open(src, errors="replace") as f:
            if CALL.search(f.read()):
                yield src, e


def wrong_call_fails(entry, top):
    """True when a call with a double for %d, compiled by the entry's own command (syntax only),
    fails with a format error."""
    args = shlex.split(entry["command"])
    out, skip = [args[0]], False
    for a in args[1:]:
        if skip:
            skip = False
        elif a in ("-o", "-MF", "-MT"):
            skip = True
        elif a not in ("-c", "-MD") and os.path.basename(a) != os.path.basename(entry["file"]):
            out.append(a)
    with tempfile.NamedTemporaryFile("w", suffix=".cpp", delete=False) as f:
        f.write(WRONG)
    try:
        r = subprocess.run(out + ["-I" + os.path.join(top, "LogClass"), "-fsyntax-only", "-c", f.name],
                           cwd=entry["directory"], capture_output=True, text=True)
    finally:
        os.unlink(f.name)
    return r.returncode != 0 and re.search(r"error: .*\[-Werror[=,]-?W?format", r.stderr) is not None


def main():
    build, top = sys.argv[1], os.path.realpath(sys.argv[2])
    found = list(callers(build, top))
    bad = 0
    for src, e in found:
        missing = [flag for flag in NEEDED if flag not in shlex.split(e["command"])]
        if missing:
            print("%s: built without %s" % (os.path.relpath(src, top), " ".join(missing)))
            bad += 1
    bites = bool(found) and wrong_call_fails(found[0][1], top)
    if found and not bites:
        print("a wrong call compiled with the command of %s draws no format error" % found[0][0])
    print("%d sources call a formatting slot, %d built without the format errors" % (len(found), bad))
    return 0 if found and not bad and bites else 1


sys.exit(main())
