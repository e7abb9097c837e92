// One line of a dump: "<stamp or indent><label><byte text>", where the label is "%08Xh: " or
// "%08ud: " and the byte text holds up to 16 values, "%02X " or "%02d " each. A byte text of 48
// characters or more is followed by ';'. Older writers cut such a text to its first 48
// characters before the ';' (only decimal values make it longer than 48, so only decimal lines
// lost values to that cut); a text longer than 48 before its ';' shows every value.
#ifndef QWLOG_DUMPLINE_H
#define QWLOG_DUMPLINE_H

#include <cstdint>
#include <string>
#include <vector>

namespace qwlog {

const size_t kStampLen = 19;       // "YYYY-MM-DD HH:MM:SS"
const size_t kDumpIndent = 24;     // stamp, space, arrow, space
const size_t kValuesPerLine = 16;
const size_t kCutAt = 48;

struct DumpLine
{
    uint64_t nOffset = 0;
    bool bHex = true;
    std::vector<unsigned char> abValues;  // the values known for certain, from nOffset on
    size_t nSeen = 0;    // values the text shows at least in part
    bool bCut = false;   // the text was cut at 48 characters: values past abValues may be lost
    bool bShort = false; // fewer than 16 values and not cut: the dump's last line
    bool bLong = false;  // a decimal text past 48 characters: its writer keeps every value
};

// True when s[nPos..] starts with "YYYY-MM-DD HH:MM:SS".
bool IsStamp(const std::string& s, size_t nPos = 0);

// Parses the label and byte text that start at s[nPos]; false when they are not a dump line.
// bKeepsValues: the file is known to come from a writer that keeps every value, so a decimal
// text of exactly 48 characters and ';' is whole even with fewer than 16 values.
bool ParseDumpLine(const std::string& s, size_t nPos, DumpLine& line, bool bKeepsValues = false);

}  // namespace qwlog

#endif
