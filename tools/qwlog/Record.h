// One record of a Quillwork log: an opening banner, a formatted entry or a dump.
#ifndef QWLOG_RECORD_H
#define QWLOG_RECORD_H

#include <cstdint>
#include <string>
#include <vector>

namespace qwlog {

enum class Kind { Open, Entry, Dump };

// A run of dump offsets whose values the file does not show, both ends included.
struct Gap
{
    uint64_t nFrom;
    uint64_t nTo;
};

struct Record
{
    Kind kind = Kind::Entry;
    std::string strFile;
    uint64_t nLine = 0;          // 1-based line of the record's first line
    std::string strTime;         // the stamp's time as written; empty when not known
    // "YYYY-MM-DD HH:MM:SS" with ".mmm" or ".uuuuuu" where the stamp has a fraction
    bool bTimeFromName = false;  // a banner's time, taken from the day folder and file name
    bool bThread = false;        // the stamp names the writing thread (THREAD=1)
    uint64_t nThread = 0;        // ... and this is its id
    bool bTorn = false;          // the file ends inside this record
    // Entry
    std::string strText;         // the message's bytes as written, inner line ends kept
    // Dump
    bool bOut = false;           // "-->"
    bool bHex = true;
    std::vector<unsigned char> abBytes;  // every value the file shows, in order
    std::vector<Gap> aMissing;           // offsets lost to the decimal cut
    bool bSizeKnown = true;              // false when the last line was cut (or the dump torn)
    // The record's lines as they stand in the file, line ends removed (of a dump only the
    // first, unless the reader was asked to keep them all).
    std::vector<std::string> aLines;

    bool Complete() const { return !bTorn && aMissing.empty() && bSizeKnown; }
};

const char* KindName(Kind kind);

}  // namespace qwlog

#endif
