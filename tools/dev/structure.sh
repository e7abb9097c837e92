#!/usr/bin/env bash
# The shape of the sources, for a maintainer weighing a change of structure:
#   - files and lines per room (LogClass, Posix, Win32, tools/qwlog, each folder of tests/,
#     bench, demo, examples), all files and the code files among them;
#   - the functions over 40 lines in the library (LogClass, Posix, Win32) and in tools/;
#   - the Win32 calls, types and macros the core (LogClass/) names, outside comments and strings;
#   - the lines of Posix/Win32Posix.h and the Qw* calls LogClass/Platform.h declares.
# Usage: tools/dev/structure.sh [COMMIT]
#   COMMIT  any name git knows; its tree is unpacked into a folder under build/, removed after.
#   none    the working tree: its tracked files and new ones git does not ignore.
# Needs git, python3 and universal-ctags (JSON output).
set -euo pipefail
top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
list=$(mktemp)
work=
cleanup() { rm -f "$list"; [ -z "$work" ] || rm -rf "$work"; }
trap cleanup EXIT

if [ $# -gt 0 ]; then
  rev=$(git -C "$top" rev-parse --verify -q "$1^{commit}") || { echo "structure.sh: $1 names no commit" >&2; exit 2; }
  mkdir -p "$top/build"
  work=$(mktemp -d "$top/build/structure.XXXXXX")
  git -C "$top" archive "$rev" | tar -x -C "$work"
  root=$work
  (cd "$root" && find . -type f -printf '%P\n') >"$list"
  echo "tree: commit $(git -C "$top" log -1 --format='%h %s' "$rev")"
else
  root=$top
  (cd "$root" && git ls-files -co --exclude-standard | while IFS= read -r f; do [ -f "$f" ] && echo "$f"; done) >"$list"
  echo "tree: working tree of $(git -C "$top" log -1 --format='%h' HEAD) ($(git -C "$top" status --porcelain | wc -l) changed or new paths)"
fi

python3 - "$root" "$list" <<'PY'
import json, os, re, subprocess, sys

root, listing = sys.argv[1], sys.argv[2]
with open(listing) as f:
    files = sorted(line.rstrip("\n") for line in f if line.strip())

CODE_EXT = (".cpp", ".h", ".c", ".hpp", ".sh", ".py", ".cmake", ".in", ".def", ".rc", ".map")
LIBRARY = ("LogClass", "Posix", "Win32")
LONG = 40


def room_of(path):
    """The room a path belongs to, or None for the files outside every room."""
    parts = path.split("/")
    if parts[0] in LIBRARY + ("bench", "demo", "examples"):
        return parts[0]
    if parts[0] == "tools" and len(parts) > 2:
        return "tools/" + parts[1]
    if parts[0] == "tests":
        return "tests/" + parts[1] if len(parts) > 2 else "tests (top)"
    return None


def is_code(path):
    return path.endswith(CODE_EXT) or os.path.basename(path) == "CMakeLists.txt"


def count_lines(path):
    with open(os.path.join(root, path), "rb") as f:
        return f.read().count(b"\n")


def rooms_table():
    """Files and lines per room, all files and the code files among them."""
    rooms = {}
    for path in files:
        room = room_of(path)
        if room is None:
            continue
        n = count_lines(path)
        row = rooms.setdefault(room, [0, 0, 0, 0])
        row[0] += 1
        row[1] += n
        if is_code(path):
            row[2] += 1
            row[3] += n
    order = list(LIBRARY) + sorted(r for r in rooms if r.startswith("tools/")) + \
        sorted(r for r in rooms if r.startswith("tests")) + ["bench", "demo", "examples"]
    print("\n== files and lines per room (all files | code files)")
    print("%-22s %6s %8s | %6s %8s" % ("room", "files", "lines", "code", "lines"))
    sums = {"library": [0] * 4, "tests": [0] * 4}
    for room in order:
        if room not in rooms:
            continue
        row = rooms[room]
        print("%-22s %6d %8d | %6d %8d" % ((room,) + tuple(row)))
        key = "library" if room in LIBRARY else "tests" if room.startswith("tests") else None
        if key:
            sums[key] = [a + b for a, b in zip(sums[key], row)]
    for key in ("library", "tests"):
        print("%-22s %6d %8d | %6d %8d" % (("total " + key,) + tuple(sums[key])))


def functions(paths):
    """(name, path, first line, lines) of each function ctags finds in the C and C++ files given."""
    sources = [p for p in paths if p.endswith((".cpp", ".h", ".c", ".hpp"))]
    if not sources:
        return []
    out = subprocess.run(["ctags", "--languages=C,C++", "--langmap=C++:+.h", "--kinds-C=f", "--kinds-C++=f",
                          "--fields=+neS", "--extras=-q", "--output-format=json", "-o", "-"] + sources,
                         cwd=root, check=True, capture_output=True, text=True).stdout
    found = []
    for line in out.splitlines():
        tag = json.loads(line)
        if tag.get("_type") != "tag" or "end" not in tag:
            continue
        name = tag["name"]
        if tag.get("scope"):
            name = re.sub(r"__anon\w+", "(anonymous)", tag["scope"]) + "::" + name
        found.append((name, tag["path"], tag["line"], tag["end"] - tag["line"] + 1))
    return found


def long_functions():
    """The functions over LONG lines in the library's rooms and in tools/."""
    for label, prefixes in (("library (LogClass, Posix, Win32)", tuple(r + "/" for r in LIBRARY)),
                            ("tools", ("tools/",))):
        found = functions([p for p in files if p.startswith(prefixes)])
        longer = sorted((f for f in found if f[3] > LONG), key=lambda f: (-f[3], f[1]))
        print("\n== functions over %d lines in %s: %d of %d" % (LONG, label, len(longer), len(found)))
        for name, path, line, n in longer:
            print("%5d  %s  (%s:%d)" % (n, name, path, line))


def strip_comments_and_strings(text):
    """C++ text with its comments and string and character literals blanked, lines kept."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
    return pattern.sub(lambda m: "\n" * m.group(0).count("\n"), text)


WIN32_CALLS = r"""InitializeCriticalSection\w* EnterCriticalSection LeaveCriticalSection DeleteCriticalSection
 TryEnterCriticalSection GetModuleFileName[AW] GetPrivateProfile\w+ OutputDebugString[AW] AllocConsole FreeConsole
 AttachConsole GetStdHandle SetStdHandle SetConsole\w+ GetConsole\w+ WriteConsole[AW] ReadConsole[AW]
 FindWindow[AW]? GetSystemMenu EnableMenuItem GetMenuState DrawMenuBar lstr\w+ _mbs\w+ Sleep w?vsprintf[AW]
 wsprintf[AW] GetLastError SetLastError CreateDirectory[AW] CreateFile[AW] CloseHandle WriteFile ReadFile
 FlushFileBuffers GetLocalTime GetSystemTime\w* GetTickCount\w* GetCurrentProcessId GetCurrentThreadId
 MultiByteToWideChar WideCharToMultiByte IsDBCSLeadByte\w* CharNext[AW] GetACP GetOEMCP GetConsoleCP
 FindFirstFile\w* FindNextFile[AW] FindClose DeleteFile[AW] RemoveDirectory[AW] GetFileAttributes\w*
 MoveFile\w* SetFilePointer\w* LoadLibrary\w* GetProcAddress FreeLibrary""".split()
WIN32_TYPES = r"""CRITICAL_SECTION HWND HMENU HANDLE HMODULE COORD SMALL_RECT CONSOLE_SCREEN_BUFFER_INFO
 PHANDLER_ROUTINE DWORD WORD UINT SHORT LPSTR LPCSTR""".split()
WIN32_MACROS = r"""WINAPI MAX_PATH STD_\w+_HANDLE INVALID_HANDLE_VALUE SC_CLOSE MF_[A-Z]+ ENABLE_[A-Z_]+ CTRL_[A-Z_]+_EVENT
 FOREGROUND_\w+ BACKGROUND_\w+""".split()


def tally(text, patterns, call):
    """Occurrences per name of the patterns in the text: as calls (name then "(") or as words."""
    counts = {}
    for p in patterns:
        regex = r"\b(" + p + r")\s*\(" if call else r"\b(" + p + r")\b"
        for m in re.finditer(regex, text):
            counts[m.group(1)] = counts.get(m.group(1), 0) + 1
    return counts


def win32_in_core():
    """The Win32 names LogClass/ uses, outside comments and strings."""
    text = ""
    for p in files:
        if p.startswith("LogClass/") and p.endswith((".cpp", ".h")):
            with open(os.path.join(root, p), encoding="utf-8", errors="replace") as f:
                text += strip_comments_and_strings(f.read()) + "\n"
    for label, patterns, call in (("calls", WIN32_CALLS, True), ("types", WIN32_TYPES, False),
                                  ("macros", WIN32_MACROS, False)):
        counts = tally(text, patterns, call)
        print("\n== Win32 %s named in LogClass/: %d names, %d uses" % (label, len(counts), sum(counts.values())))
        if counts:
            print("   " + ", ".join("%s %d" % (k, counts[k]) for k in sorted(counts)))


def seam():
    """The lines of the emulation header and the calls the core's own seam declares."""
    path = "Posix/Win32Posix.h"
    print("\n== %s: %s" % (path, "%d lines" % count_lines(path) if path in files else "absent"))
    if "LogClass/Platform.h" in files:
        with open(os.path.join(root, "LogClass/Platform.h"), encoding="utf-8", errors="replace") as f:
            text = strip_comments_and_strings(f.read())
        names = sorted(set(re.findall(r"\b(Qw[A-Z]\w*)\s*\(", text)))
        print("== LogClass/Platform.h: %d lines, %d Qw* calls declared" % (count_lines("LogClass/Platform.h"), len(names)))


rooms_table()
long_functions()
win32_in_core()
seam()
PY
