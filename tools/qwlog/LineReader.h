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
    static const size_t kBlock = 1u << 16;

    explicit LineReader(std::FILE* pFile);

    // Reads the next whole line; false when the data read so far ends without a line feed.
    // The bytes after the last line feed stay in Pending(); a later call, after the file has
    // grown, goes on from them.
    bool Next(Line& line);

    // Bytes of an unfinished last line.
    const std::string& Pending() const { return m_strPending; }
    uint64_t PendingNumber() const { return m_nLines + 1; }

    // Bytes of the file taken so far: whole lines and the pending ones.
    uint64_t Consumed() const { return m_nRead - (m_nEnd - m_nPos); }

    // Lets go of the file and the block buffer; the pending bytes stay. Attach goes on with
    // pFile, which must stand at Consumed().
    void Detach();
    void Attach(std::FILE* pFile);

    // Starts again from the beginning of pFile, as if nothing had been read.
    void Restart(std::FILE* pFile);

private:
    bool Fill();

    std::FILE* m_pFile;
    std::vector<char> m_abBuf;
    size_t m_nPos = 0;
    size_t m_nEnd = 0;
    std::string m_strPending;
    bool m_bCut = false;
    uint64_t m_nLines = 0;
    uint64_t m_nRead = 0;  // bytes read from the file into the buffer, in all
};

}  // namespace qwlog

#endif
