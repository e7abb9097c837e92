#!/usr/bin/env python3
"""Checks of the crash suite.

  crashlog.py status DIR PROG ARGS...   runs PROG in DIR (stdin /dev/null, output to DIR/out
                                        and DIR/err) and prints how it ended: "signal N core",
                                        "signal N" or "exit N"
  crashlog.py entry LOG NAME            the log ends with one crash entry naming NAME; prints
                                        its frames as "module offset", one a line
  crashlog.py threads LOG               every entry of the writer threads whole, one crash
                                        entry, the last, after at least 4000 writer entries
  crashlog.py none LOG                  the log holds no crash entry
"""
import os
import re
import subprocess
import sys

BANNER = "\r\n------\r\n\r\n\r\n"
STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d(?:\.\d{3}|\.\d{6})?(?: \[\d+\])?"
CRASH = re.compile(r"^(" + STAMP + r")  CRASH (\S+) \((\w+)\)(.*) in thread (\d+)$")
FRAME = re.compile(r"^    #(\d+) (?:(.+)\+0x([0-9a-f]+)(?: (\S+)\+0x[0-9a-f]+)?|0x[0-9a-f]+)$")
WRITER = re.compile(r"^" + STAMP + r"  writer [0-3] entry \d+ of a line long enough to take its time$")


def entries(path):
    """The file's entries (the banners left out), each a list of lines."""
    if not path or not os.path.isfile(path):
        sys.exit("crashlog: no log file %r" % path)
    with open(path, "rb") as f:
        text = f.read().decode("utf-8", "replace")
    if not text.endswith("\r\n\r\n"):
        sys.exit("crashlog: the file does not end with an entry's end: %r" % text[-80:])
    out = []
    for chunk in text.replace(BANNER, "").split("\r\n\r\n"):
        if chunk == "":
            continue
        out.append(chunk.split("\r\n"))
    return out


def crash_entry(lines):
    """The frames of a crash entry as (module, offset) pairs; None when lines is not one."""
    m = CRASH.match(lines[0])
    if m is None:
        return None
    frames = []
    for i, line in enumerate(lines[1:]):
        f = FRAME.match(line)
        if f is None or int(f.group(1)) != i:
            sys.exit("crashlog: not a frame line: %r" % line)
        frames.append((f.group(2) or "?", f.group(3) or "0"))
    return m, frames


def status(args):
    where, prog = args[0], args[1:]
    with open(os.path.join(where, "out"), "wb") as out, open(os.path.join(where, "err"), "wb") as err:
        pid = os.posix_spawn(prog[0], prog, dict(os.environ), file_actions=[
            (os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
            (os.POSIX_SPAWN_DUP2, out.fileno(), 1), (os.POSIX_SPAWN_DUP2, err.fileno(), 2)])
    _, st = os.waitpid(pid, 0)
    if os.WIFSIGNALED(st):
        print("signal %d%s" % (os.WTERMSIG(st), " core" if os.WCOREDUMP(st) else ""))
    else:
        print("exit %d" % os.WEXITSTATUS(st))


def entry(path, name):
    all_entries = entries(path)
    crashes = [e for e in all_entries if crash_entry(e) is not None]
    if len(crashes) != 1 or crash_entry(all_entries[-1]) is None:
        sys.exit("crashlog: %d crash entries, the last entry %r" % (len(crashes), all_entries[-1][0] if all_entries else None))
    m, frames = crash_entry(all_entries[-1])
    if m.group(2) != name:
        sys.exit("crashlog: the crash entry names %s, not %s" % (m.group(2), name))
    if not frames:
        sys.exit("crashlog: the crash entry has no frames")
    for module, offset in frames:
        print(module, offset)


def threads(path):
    all_entries = entries(path)
    crashes = [i for i, e in enumerate(all_entries) if crash_entry(e) is not None]
    if len(crashes) != 1:
        sys.exit("crashlog: %d crash entries" % len(crashes))
    at = crashes[0]
    if at != len(all_entries) - 1:
        sys.exit("crashlog: the last entry is not the crash entry: %r" % all_entries[-1][0])
    writers = 0
    for i, e in enumerate(all_entries):
        if i == at:
            continue
        if len(e) == 1 and WRITER.match(e[0]):
            writers += 1
        elif not (len(e) == 1 and e[0].endswith("  entry before the crash")):
            sys.exit("crashlog: an entry is not whole: %r" % e)
    if writers < 4000:
        sys.exit("crashlog: only %d writer entries before the crash" % writers)
    print("%d writer entries whole, the crash entry last" % writers)


def none(path):
    if any(crash_entry(e) is not None for e in entries(path)):
        sys.exit("crashlog: a crash entry where none was asked for")


if __name__ == "__main__":
    cmd, rest = sys.argv[1], sys.argv[2:]
    {"status": lambda: status(rest), "entry": lambda: entry(*rest), "threads": lambda: threads(*rest),
     "none": lambda: none(*rest)}[cmd]()
