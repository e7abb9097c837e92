#!/usr/bin/env python3
# Writes CodePageTables.cpp: the upper halves of the single-byte code pages qwlog decodes,
# from Python's codec tables. Run from this folder: python3 codepages.py
PAGES = [
    ("windows-1252", "cp1252", ["cp1252", "1252"]),
    ("windows-1250", "cp1250", ["cp1250", "1250"]),
    ("windows-1251", "cp1251", ["cp1251", "1251"]),
    ("iso-8859-1", "latin-1", ["latin1", "latin-1", "iso8859-1"]),
    ("iso-8859-15", "iso8859-15", ["latin9", "latin-9", "iso8859-15"]),
    ("cp437", "cp437", ["437", "ibm437"]),
    ("cp850", "cp850", ["850", "ibm850"]),
]


def ident(name):
    return "k" + name.replace("-", "_").replace("windows", "Win").replace("iso", "Iso").replace("cp", "Cp")


def upper_half(codec):
    vals = []
    for b in range(0x80, 0x100):
        try:
            vals.append(ord(bytes([b]).decode(codec)))
        except UnicodeDecodeError:
            vals.append(b)  # undefined: the C1 control of the same number
    return vals


out = ["// Upper halves (bytes 0x80 to 0xFF) of the single-byte code pages qwlog decodes.\n"
       "// Made from Python's codec tables by codepages.py; a byte a page leaves undefined maps to\n"
       "// the C1 control of the same number (U+0080 + n), as Windows' MultiByteToWideChar does,\n"
       "// so no byte is lost.\n#include \"CodePages.h\"\n\nnamespace qwlog {\nnamespace {\n\n"]
for name, codec, _ in PAGES:
    vals = upper_half(codec)
    out.append("const unsigned short %s[128] = {\n" % ident(name))
    for i in range(0, 128, 8):
        out.append("    " + ", ".join("0x%04X" % v for v in vals[i:i + 8]) + ",\n")
    out.append("};\n\n")
out.append("}  // namespace\n\nconst CodePage g_aCodePages[] = {\n")
for name, _, aliases in PAGES:
    out.append('    { "%s", { %s }, %s },\n' % (name, ", ".join('"%s"' % a for a in aliases), ident(name)))
out.append("};\n\nconst size_t g_nCodePages = sizeof(g_aCodePages) / sizeof(g_aCodePages[0]);\n\n}  // namespace qwlog\n")
open("CodePageTables.cpp", "w").write("".join(out))
