// CEntryText: one entry or dump of the text log, laid out before the object's
// lock in a buffer of its own, with room for the stamp in front. Under the lock
// the stamp is put there (Stamp) and the text handed out: one part for every
// entry and every dump of up to DUMP_WRITE_MAX bytes of text, several parts of
// one buffer, made one after the other, for a larger dump (or one for which no
// memory of its size could be had).
#ifndef QUILLWORK_ENTRYTEXT_H
#define QUILLWORK_ENTRYTEXT_H

#include "Platform.h"
#include "Stamp.h"
#include "WinConsole.h"

#include <stdarg.h>
#include <stddef.h>

class CEntryText
{
public:
    enum
    {
        STAMP_ROOM = CStamp::STAMP_MAX,  // the room in front for any stamp
        MESSAGE_SIZE = 2048,             // a message's text, its terminator included
        LOCAL_SIZE = 4096,               // the buffer on the stack: any message, dumps of up to 29 lines
        DUMP_WRITE_MAX = 4 << 20         // the most text one write of a dump takes
    };

    // A message: pszFormat with args (QwFormatV), then "\r\n\r\n".
    CEntryText(const char* pszFormat, va_list args);
    // A dump of nSize bytes at pData (readable) for a stamp of nStamp bytes, the
    // length the calling thread's stamp has (CStamp::Length): its lines are
    // indented by it. bOut picks the stamp's arrow, bHex the radix.
    CEntryText(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex, size_t nStamp);
    ~CEntryText();

    // The most bytes a dump's text takes (QwDumpRoom without a stamp), for the
    // roll-over to see a large one coming; 0 for a message.
    unsigned long long Bound() const;

    // What follows the time in the stamp: "  ", " --> " or " <-- ".
    const char* Tail() const { return m_pszTail; }

    // Puts the stamp of nStamp bytes at pszStamp in front of the text. A dump
    // whose stamp is not of the length it was laid out for is made again for
    // it, part by part. Called once, under the object's lock.
    void Stamp(const char* pszStamp, size_t nStamp);

    // TRUE when the text is one part (Whole gives it); else Rewind and NextPart
    // make the parts one after the other, in the same buffer.
    bool IsWhole() const { return m_nPerPart == 0; }
    const char* Whole(size_t& nLen) const;
    void Rewind() { m_nNext = 0; }
    // The next part at *pp and its length; 0 once every part has been made. In
    // the form CLogAppend::Run takes (pContext: the CEntryText).
    static size_t NextPart(void* pContext, const char** pp);

    // Shows the text (all of its parts, made again) in the console: a message's
    // stamp in colour 6, the rest in 7; a dump's stamp in 6, each label in 3,
    // each byte text in 2, indents and line ends in 7.
    void Show(CWinConsole& console);

private:
    CEntryText(const CEntryText&);
    CEntryText& operator=(const CEntryText&);
    void LayOutDump(size_t nStamp);
    void UseParts(char* pBuffer, size_t nBuffer);
    size_t MakePart(const char** pp);
    void ShowMessage(CWinConsole& console) const;
    void ShowDumpPart(CWinConsole& console, const char* p, size_t nLen, bool bFirst, bool bLast) const;

    const char* m_pszTail;
    char* m_pBuffer;    // m_szLocal or memory of the heap (m_bHeap)
    size_t m_nBuffer;
    bool m_bHeap;
    size_t m_nStart;    // where the text starts in the buffer (the stamp's first byte once stamped)
    size_t m_nLen;      // its length, the stamp's included
    size_t m_nStamp;    // the stamp's length (for a dump laid out: the one it was laid out for)
    size_t m_nMessage;  // a message's length (without the end)
    // A dump's facts, for its parts and its console.
    const unsigned char* m_pData;
    unsigned int m_nSize;
    BOOL m_bHex;
    bool m_bDump;
    unsigned int m_nIndent;
    unsigned int m_nLines;
    unsigned int m_nPerPart;  // lines a part holds; 0 while the text is whole
    unsigned int m_nNext;     // the first line of the next part
    bool m_bFirst;            // the last part made holds line 0
    bool m_bLast;             // ... and the last line
    char m_szStamp[STAMP_ROOM];
    char m_szLocal[LOCAL_SIZE];
};

#endif
