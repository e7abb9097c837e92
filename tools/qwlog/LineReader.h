// Lines of a file, read in blocks: constant memory whatever the file's size.
#ifndef QWLOG_LINEREADER_H
#define QWLOG_LINEREADER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qwlog {

struct Line
{
    std::string strText;     // without its line end
    bool bCrLf = false;      // ended in CR LF (any run of CRs before the LF: text-mode files)
    bool bCut = false;       // longer than LineReader::kMaxLine; the rest was dropped
    uint64_t nNumber = 0;    // 1-based
};

class LineReader
{
public:
    static const size_t kMaxLine = 1u << 20;

    explicit LineReader(std::FILE* pFile);

    // Reads the next whole line; false when the data read so far ends without a line feed.
    // The bytes after the last line feed stay in Pending(); a later call, after the file has
    // grown, goes on from them.
    bool Next(Line& line);

    // Bytes of an unfinished last line.
    const std::string& Pending() const { return m_strPending; }
    uint64_t PendingNumber() const { return m_nLines + 1; }

private:
    bool Fill();

    std::FILE* m_pFile;
    std::vector<char> m_abBuf;
    size_t m_nPos = 0;
    size_t m_nEnd = 0;
    std::string m_strPending;
    bool m_bCut = false;
    uint64_t m_nLines = 0;
};

}  // namespace qwlog

#endif
