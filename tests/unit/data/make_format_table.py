#!/usr/bin/env python3
"""Writes tests/unit/FormatTable.inc: the conversions wvsprintfA knows, in every form the
library hands to the platform (flags '-', '#', '0' in that order, widths, precisions, sizes),
with values at the edges, and glibc's text of each, from glibc's own snprintf (ctypes).
Linux's build must give exactly that text; the Windows builds that text or a difference the
README names (tests/unit/WinFormatTest.cpp tells them apart).
    python3 tests/unit/data/make_format_table.py > tests/unit/FormatTable.inc
"""
import ctypes
import itertools

libc = ctypes.CDLL("libc.so.6")
libc.snprintf.restype = ctypes.c_int

FLAGS = ["", "-", "#", "0", "-#", "#0", "-0"]
WIDTHS = ["", "5", "20"]
PRECISIONS = ["", ".0", ".3", ".20"]
INTS = [0, -1, 42, -1024, 65537, 2147483647, -2147483648]
# size as written, its C spelling, the row's kind (how the argument is passed)
INT_SIZES = [("", "", "INT"), ("h", "h", "INT"), ("l", "l", "LONG"), ("I64", "ll", "LLONG"), ("I", "z", "PTRDIFF")]
STRINGS = [None, "", "abc", "hello world"]
# Strings and characters: the size as written and the type, the C spelling of
# both, and whether the argument is wide (as wvsprintfA reads the sizes).
STRING_SIZES = [("", "s", "s", False), ("h", "s", "s", False), ("I64", "s", "s", False),
                ("l", "s", "ls", True), ("w", "s", "ls", True), ("", "S", "ls", True), ("I64", "S", "ls", True),
                ("h", "S", "s", False)]
CHAR_SIZES = [("", "c", "c"), ("h", "c", "c"), ("I64", "c", "c"), ("l", "c", "lc"), ("w", "c", "lc"), ("", "C", "lc"),
              ("h", "C", "c")]
CHARS = [65, 122, 0]
# A narrow character is the low byte of its int (321: 'A'); a wide one past
# ASCII depends on the charset, and is left to the locale tests.
NARROW_CHARS = CHARS + [321]


def glibc(fmt, arg):
    buf = ctypes.create_string_buffer(4096)
    n = libc.snprintf(buf, len(buf), fmt.encode(), arg)
    return buf.raw[:n].replace(b"\0", b"").decode("latin-1")


def c_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def rows():
    for flags, width, prec in itertools.product(FLAGS, WIDTHS, PRECISIONS):
        for size, c_size, kind in INT_SIZES:
            for typ in "duxX":
                for v in INTS:
                    if kind == "LONG" and v < 0 and typ != "d":
                        continue  # a long is 32 bits on Windows, 64 on Linux: a difference of its own
                    if kind == "INT":
                        arg = ctypes.c_int(v)
                    elif kind == "LONG":
                        arg = ctypes.c_long(v)
                    elif kind == "LLONG":
                        arg = ctypes.c_longlong(v)
                    else:
                        arg = ctypes.c_ssize_t(v)
                    text = glibc("%" + flags + width + prec + c_size + typ, arg)
                    yield "%" + flags + width + prec + size + typ, kind, str(v), "NULL", text
        for size, typ, c_conv, wide in STRING_SIZES:
            for s in STRINGS:
                if s is None:
                    arg = ctypes.c_void_p(None)
                elif wide:
                    arg = ctypes.c_wchar_p(s)
                else:
                    arg = ctypes.c_char_p(s.encode())
                text = glibc("%" + flags + width + prec + c_conv, arg)
                yield ("%" + flags + width + prec + size + typ, "WSTRING" if wide else "STRING", "0",
                       "NULL" if s is None else c_string(s), text)
        for size, typ, c_conv in CHAR_SIZES:
            for v in NARROW_CHARS if c_conv == "c" else CHARS:
                text = glibc("%" + flags + width + prec + c_conv, ctypes.c_int(v))
                yield "%" + flags + width + prec + size + typ, "INT", str(v), "NULL", text
        if prec == "":
            for v in [0, 0x1234]:
                text = glibc("%" + flags + width + "p", ctypes.c_void_p(v))
                yield "%" + flags + width + "p", "POINTER", str(v), "NULL", text


print("// Written by tests/unit/data/make_format_table.py from glibc's snprintf: do not edit.")
print("// { format, kind of argument, integer value, string value, glibc's text }")
for fmt, kind, value, string, text in rows():
    value = value if value != "-2147483648" else "-2147483647 - 1"
    print("{ %s, FT_%s, %s, %s, %s }," % (c_string(fmt), kind, value, string, c_string(text)))
