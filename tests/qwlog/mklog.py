#!/usr/bin/env python3
"""Writes a log file laid out as the library lays it out, from a list of records.
    mklog.py OUT ITEM...
ITEM: banner | entry:TEXT | hex:out:N | hex:in:N | dec:out:N | dec:in:N   (N bytes valued i % 256;
N may end in k or m) | time:YYYY-MM-DD HH:MM:SS (the stamp of the records after it).
Decimal lines keep every value (';' after a byte text of 48 characters or more)."""
import sys


def size(text):
    mult = {"k": 1024, "m": 1024 * 1024}.get(text[-1].lower(), 1)
    return int(text.rstrip("kKmM")) * mult


def dump(stamp, out, hexa, data):
    lines = []
    for n in range(max(1, (len(data) + 15) // 16)):
        label = ("%08Xh: " if hexa else "%08ud: ") % (n * 16)
        text = "".join(("%02X " if hexa else "%02d ") % b for b in data[n * 16:n * 16 + 16])
        if len(text) >= 48:
            text += ";"
        head = stamp + (" --> " if out else " <-- ") if n == 0 else " " * 24
        lines.append((head + label + text).encode())
    return b"\r\n".join(lines) + b"\r\n\r\n"


def main():
    stamp = "2024-03-05 09:08:07"
    with open(sys.argv[1], "wb") as f:
        for item in sys.argv[2:]:
            kind, _, rest = item.partition(":")
            if kind == "banner":
                f.write(b"\r\n------\r\n\r\n\r\n")
            elif kind == "time":
                stamp = rest
            elif kind == "entry":
                f.write((stamp + "  " + rest + "\r\n\r\n").encode())
            else:
                direction, _, count = rest.partition(":")
                data = bytes(i % 256 for i in range(size(count)))
                f.write(dump(stamp, direction == "out", kind == "hex", data))


main()
