// CEntryText: an entry or dump laid out before the lock, stamped under it.
#include "EntryText.h"

#include "DumpText.h"
#include "Formatter.h"
#include "Framework.h"

#include <string.h>

namespace {

const char s_szEntryEnd[] = "\r\n\r\n";
const char s_szLineEnd[] = "\r\n";
const size_t END_LEN = sizeof(s_szEntryEnd) - 1;
const WORD COLOR_STAMP = 6;
const WORD COLOR_LABEL = 3;
const WORD COLOR_BYTES = 2;
const WORD COLOR_NORMAL = 7;

// The indent of a dump whose stamp takes nStamp bytes: as long as the stamp,
// never longer than the spaces there are for it.
unsigned int IndentOf(size_t nStamp)
{
    return (unsigned int)(nStamp < sizeof(QW_DUMP_SPACES) - 1 ? nStamp : sizeof(QW_DUMP_SPACES) - 1);
}

} // namespace

CEntryText::CEntryText(const char* pszFormat, va_list args)
    : m_pszTail("  ")
    , m_pBuffer(m_szLocal)
    , m_nBuffer(LOCAL_SIZE)
    , m_bHeap(false)
    , m_nStart(STAMP_ROOM)
    , m_nStamp(0)
    , m_pData(NULL)
    , m_nSize(0)
    , m_bHex(FALSE)
    , m_bDump(false)
    , m_nIndent(0)
    , m_nLines(0)
    , m_nPerPart(0)
    , m_nNext(0)
    , m_bFirst(true)
    , m_bLast(true)
{
    static_assert(STAMP_ROOM + MESSAGE_SIZE + END_LEN <= LOCAL_SIZE, "a message must fit the local buffer");
    char* pszMessage = m_szLocal + STAMP_ROOM;
    m_nMessage = QwFormatV(pszMessage, MESSAGE_SIZE, pszFormat, args);  // terminated within MESSAGE_SIZE
    memcpy(pszMessage + m_nMessage, s_szEntryEnd, END_LEN);
    m_nLen = m_nMessage + END_LEN;
}

CEntryText::CEntryText(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex, size_t nStamp)
    : m_pszTail(bOut ? " --> " : " <-- ")
    , m_pBuffer(m_szLocal)
    , m_nBuffer(LOCAL_SIZE)
    , m_bHeap(false)
    , m_nStart(0)
    , m_nLen(0)
    , m_nStamp(nStamp < (size_t)STAMP_ROOM ? nStamp : (size_t)STAMP_ROOM)
    , m_nMessage(0)
    , m_pData(pData)
    , m_nSize(nSize)
    , m_bHex(bHex)
    , m_bDump(true)
    , m_nIndent(IndentOf(m_nStamp))
    , m_nLines(QwDumpLineCount(nSize))
    , m_nPerPart(0)
    , m_nNext(0)
    , m_bFirst(true)
    , m_bLast(true)
{
    const unsigned long long nRoom = STAMP_ROOM + (unsigned long long)m_nLines * QwDumpLineRoom(m_nIndent) + 2;
    if (nRoom > LOCAL_SIZE) {
        const size_t nHeap = nRoom <= DUMP_WRITE_MAX ? (size_t)nRoom : (size_t)DUMP_WRITE_MAX;
        char* pHeap = static_cast<char*>(QwAllocObject(nHeap));
        if (pHeap != NULL) {
            m_pBuffer = pHeap;
            m_nBuffer = nHeap;
            m_bHeap = true;
        }
        if (pHeap == NULL || nRoom > DUMP_WRITE_MAX) {
            m_nPerPart = 1;  // in parts; how many lines each takes is known once the stamp is
            return;
        }
    }
    LayOutDump(m_nStamp);
}

CEntryText::~CEntryText()
{
    if (m_bHeap)
        QwFreeObject(m_pBuffer);
}

// Lays the whole dump out at the end of the stamp's room, spaces standing in
// for a stamp of nStamp bytes.
void CEntryText::LayOutDump(size_t nStamp)
{
    m_nStart = STAMP_ROOM - nStamp;
    m_nLen = QwLayOutDump(m_pBuffer + m_nStart, m_pData, m_nSize, m_bHex, QW_DUMP_SPACES, nStamp, m_nIndent);
}

void CEntryText::Stamp(const char* pszStamp, size_t nStamp)
{
    if (!m_bDump) {
        m_nStart = STAMP_ROOM - nStamp;
        memcpy(m_pBuffer + m_nStart, pszStamp, nStamp);
        m_nStamp = nStamp;
        m_nLen = nStamp + m_nMessage + END_LEN;
        return;
    }
    if (IsWhole() && nStamp == m_nStamp) {
        memcpy(m_pBuffer + m_nStart, pszStamp, nStamp);
        return;
    }
    // In parts, or laid out for a stamp of another length (a clock without a
    // local time): made part by part in the buffer there is, for this stamp.
    memcpy(m_szStamp, pszStamp, nStamp);
    m_nStamp = nStamp;
    m_nIndent = IndentOf(nStamp);
    m_nPerPart = (unsigned int)((m_nBuffer - nStamp - 2) / QwDumpLineRoom(m_nIndent));
    m_nNext = 0;
}

unsigned long long CEntryText::Bound() const { return m_bDump ? QwDumpRoom(m_nSize, 0) : 0; }

const char* CEntryText::Whole(size_t& nLen) const
{
    nLen = m_nLen;
    return m_pBuffer + m_nStart;
}

size_t CEntryText::NextPart(void* pContext, const char** pp)
{
    return static_cast<CEntryText*>(pContext)->MakePart(pp);
}

// Lays out the next part of a dump in parts at the buffer's start: the stamp
// before line 0, up to m_nPerPart lines, the closing line end after the last.
size_t CEntryText::MakePart(const char** pp)
{
    if (m_nNext >= m_nLines)
        return 0;
    unsigned int nFirst = m_nNext;
    unsigned int nEnd = m_nLines - nFirst > m_nPerPart ? nFirst + m_nPerPart : m_nLines;
    size_t nLen = 0;
    if (nFirst == 0) {
        memcpy(m_pBuffer, m_szStamp, m_nStamp);
        nLen = m_nStamp;
    }
    nLen += QwFormatDumpLines(m_pBuffer + nLen, m_pData, m_nSize, nFirst, nEnd, m_bHex, m_nIndent);
    if (nEnd == m_nLines) {
        memcpy(m_pBuffer + nLen, s_szLineEnd, 2);
        nLen += 2;
    }
    m_bFirst = nFirst == 0;
    m_bLast = nEnd == m_nLines;
    m_nNext = nEnd;
    *pp = m_pBuffer;
    return nLen;
}

void CEntryText::Show(CWinConsole& console)
{
    console.BeginEntry();
    if (!m_bDump) {
        ShowMessage(console);
    } else if (IsWhole()) {
        ShowDumpPart(console, m_pBuffer + m_nStart, m_nLen, true, true);
    } else {
        Rewind();
        const char* p = NULL;
        for (size_t nLen; (nLen = MakePart(&p)) != 0;)
            ShowDumpPart(console, p, nLen, m_bFirst, m_bLast);
    }
    console.EndEntry();
}

// The stamp in its colour, then the message and the end in the normal colour.
void CEntryText::ShowMessage(CWinConsole& console) const
{
    const char* p = m_pBuffer + m_nStart;
    console.SetColor(COLOR_STAMP);
    console.Write(p, (DWORD)m_nStamp);
    console.SetColor(COLOR_NORMAL);
    console.Write(p + m_nStamp, (DWORD)m_nMessage);
    console.Write(s_szEntryEnd, (DWORD)END_LEN);
}

// Shows dump text piece by piece in the dump's colours: the stamp (bFirst),
// then each line's indent, label, byte text and line end, then the closing line
// end (bLast).
void CEntryText::ShowDumpPart(CWinConsole& console, const char* p, size_t nLen, bool bFirst, bool bLast) const
{
    const char* pEnd = p + nLen;
    if (bFirst) {
        console.SetColor(COLOR_STAMP);
        console.Write(p, (DWORD)m_nStamp);
        console.SetColor(COLOR_NORMAL);
        p += m_nStamp;
    }
    for (bool bLineZero = bFirst; p < pEnd; bLineZero = false) {
        if (bLast && pEnd - p == 2)
            break;  // the closing line end
        if (!bLineZero && m_nIndent != 0) {
            console.Write(p, m_nIndent);
            p += m_nIndent;
        }
        const char* pBytes = static_cast<const char*>(memchr(p, ' ', (size_t)(pEnd - p))) + 1;  // after the label
        const char* pLineEnd = static_cast<const char*>(memchr(pBytes, '\r', (size_t)(pEnd - pBytes)));
        console.SetColor(COLOR_LABEL);
        console.Write(p, (DWORD)(pBytes - p));
        console.SetColor(COLOR_NORMAL);
        console.SetColor(COLOR_BYTES);
        console.Write(pBytes, (DWORD)(pLineEnd - pBytes));
        console.SetColor(COLOR_NORMAL);
        console.Write(s_szLineEnd, 2);
        p = pLineEnd + 2;
    }
    if (bLast)
        console.Write(s_szLineEnd, 2);
}
