// What the library writes for the benchmarked entry and dumps, captured from
// the library itself, so the floor writes exactly the same bytes.
#ifndef QW_PAYLOAD_H
#define QW_PAYLOAD_H

#include <map>
#include <string>
#include <vector>

// The dump sizes the benchmarks use.
const unsigned int QW_DUMP_SIZES[] = { 16, 256, 4096 };
const unsigned int QW_DUMP_MAX = 4096;

// One entry and one dump of each size as the library wrote them, whole and in
// the pieces the library writes them in today.
struct QW_PAYLOAD
{
    std::string strEntry;
    std::vector<std::string> entryPieces;
    std::map<unsigned int, std::string> dumps;
    std::map<unsigned int, std::vector<std::string>> dumpPieces;
};

// The benchmarked message: WriteLog(QW_ENTRY_FORMAT, QW_ENTRY_VALUE).
#define QW_ENTRY_FORMAT "%d items"
const int QW_ENTRY_VALUE = 3;

// The payload, captured from a library object on first use. Empty strings when that failed.
const QW_PAYLOAD& BenchPayload();
// The dump buffer: QW_DUMP_MAX bytes counting up from 0.
const unsigned char* BenchDumpData();
// An entry cut as the library writes it: stamp (21), message, "\r\n\r\n".
std::vector<std::string> SplitEntry(const std::string& strEntry);
// A dump of n lines cut as the library writes it: 4n + 1 pieces (stamp or
// indent, label, byte text, line end for each line; the closing line end).
std::vector<std::string> SplitDump(const std::string& strDump);
// strText with the digits of every "YYYY-MM-DD HH:MM:SS" stamp replaced by '#'.
std::string MaskStamps(const std::string& strText);
// The folder the benchmarks' own files go to (beside the program), created on first use.
const std::string& BenchFolder();

#endif
