#include "LineReader.h"

#include <cstring>

namespace qwlog {

LineReader::LineReader(std::FILE* pFile) : m_pFile(pFile), m_abBuf(kBlock) {}

void LineReader::Detach()
{
    m_nRead -= m_nEnd - m_nPos;  // the unread part of the block is read again after Attach
    m_nPos = m_nEnd = 0;
    std::vector<char>().swap(m_abBuf);
    m_pFile = nullptr;
}

void LineReader::Attach(std::FILE* pFile)
{
    m_pFile = pFile;
}

void LineReader::Restart(std::FILE* pFile)
{
    m_pFile = pFile;
    m_nPos = m_nEnd = 0;
    m_nRead = 0;
    m_nLines = 0;
    m_strPending.clear();
    m_bCut = false;
}

// Reads the next block into the buffer; false when the file has nothing more for now.
bool LineReader::Fill()
{
    m_nPos = 0;
    if (m_abBuf.empty())
        m_abBuf.resize(kBlock);
    m_nEnd = std::fread(m_abBuf.data(), 1, m_abBuf.size(), m_pFile);
    m_nRead += m_nEnd;
    if (m_nEnd == 0) {
        std::clearerr(m_pFile);  // a followed file may grow: the next read tries again
        return false;
    }
    return true;
}

bool LineReader::Next(Line& line)
{
    for (;;) {
        if (m_nPos == m_nEnd && !Fill())
            return false;
        const char* pBegin = m_abBuf.data() + m_nPos;
        const char* pLf = (const char*)std::memchr(pBegin, '\n', m_nEnd - m_nPos);
        size_t nTake = pLf ? (size_t)(pLf - pBegin) : m_nEnd - m_nPos;
        size_t nRoom = kMaxLine - m_strPending.size();
        if (nTake > nRoom) {
            m_strPending.append(pBegin, nRoom);
            m_bCut = true;
        } else {
            m_strPending.append(pBegin, nTake);
        }
        m_nPos += nTake;
        if (pLf == nullptr)
            continue;
        ++m_nPos;  // the line feed
        line.bCrLf = false;
        while (!m_strPending.empty() && m_strPending.back() == '\r') {
            m_strPending.pop_back();
            line.bCrLf = true;
        }
        line.strText.swap(m_strPending);
        m_strPending.clear();
        line.bCut = m_bCut;
        m_bCut = false;
        line.nNumber = ++m_nLines;
        return true;
    }
}

}  // namespace qwlog
