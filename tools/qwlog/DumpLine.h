// One line of a dump: "<stamp or indent><label><byte text>", where the label is "%08Xh: " or
// "%08ud: " and the byte text holds up to 16 values, "%02X " or "%02d " each. A byte text of 48
// characters or more is cut to its first 48 and ';' (only decimal values make it longer than 48,
// so only decimal lines lose values to the cut).
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
};

// True when s[nPos..] starts with "YYYY-MM-DD HH:MM:SS".
bool IsStamp(const std::string& s, size_t nPos = 0);

// Parses the label and byte text that start at s[nPos]; false when they are not a dump line.
bool ParseDumpLine(const std::string& s, size_t nPos, DumpLine& line);

}  // namespace qwlog

#endif
