#!/usr/bin/env python3
"""Checks the GNU debug link of a stripped library: prints the file it names and
whether that file, beside the library, has the CRC the link records.
Usage: debuglink.py <objdump> <library>; exit code 0 when the link holds."""
import os
import re
import subprocess
import sys
import zlib


def section_bytes(objdump, path, name):
    """The contents of one section as objdump -s prints them, as bytes."""
    out = subprocess.run([objdump, "-s", "-j", name, path], capture_output=True, text=True).stdout
    data = bytearray()
    for line in out.splitlines():
        m = re.match(r"^ [0-9a-f]+ ((?:[0-9a-f]{2,8} ){1,4})", line + " ")
        if m:
            data += bytes.fromhex("".join(m.group(1).split()))
    return bytes(data)


def main():
    objdump, lib = sys.argv[1], sys.argv[2]
    link = section_bytes(objdump, lib, ".gnu_debuglink")
    if not link:
        print("no .gnu_debuglink section")
        return 1
    name = link.split(b"\0", 1)[0].decode()
    crc_at = (len(name) + 1 + 3) & ~3
    want = int.from_bytes(link[crc_at:crc_at + 4], "little")
    debug = os.path.join(os.path.dirname(lib), name)
    if not os.path.isfile(debug):
        print("links to %s, which is missing" % name)
        return 1
    with open(debug, "rb") as f:
        got = zlib.crc32(f.read()) & 0xFFFFFFFF
    print("%s crc %08x, file %08x" % (name, want, got))
    return 0 if got == want else 1


sys.exit(main())
