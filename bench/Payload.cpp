// Captures the library's own bytes for the floor and cuts them as the library writes them.
#include "Payload.h"

#include "BenchFile.h"
#include "QwLoader.h"
#include "Subjects.h"

#include <ctype.h>

namespace {

const size_t STAMP_LEN = 19;      // "YYYY-MM-DD HH:MM:SS"
const size_t ENTRY_STAMP = 21;    // the stamp and two spaces
const size_t DUMP_STAMP = 24;     // the stamp, " --> "; also the indent
const size_t DUMP_LABEL = 11;     // "00000000h: "

// Appends what one call of fnWrite adds to pSubject's file.
template <class F>
std::string Captured(CBenchSubject& subject, F fnWrite)
{
    long long nBefore = BenchFileSize(subject.Path());
    fnWrite();
    return nBefore < 0 ? std::string() : BenchReadFrom(subject.Path(), nBefore);
}

// Fills the payload from a fresh library object.
void Capture(QW_PAYLOAD& payload)
{
    std::unique_ptr<CBenchSubject> pQw = MakeQuillwork();
    if (!pQw)
        return;
    payload.strEntry = Captured(*pQw, [&] { pQw->Entry(); });
    payload.entryPieces = SplitEntry(payload.strEntry);
    for (unsigned int nSize : QW_DUMP_SIZES) {
        payload.dumps[nSize] = Captured(*pQw, [&] { pQw->Dump(BenchDumpData(), nSize); });
        payload.dumpPieces[nSize] = SplitDump(payload.dumps[nSize]);
    }
}

// True when strText holds a stamp's shape at nAt.
bool StampAt(const std::string& strText, size_t nAt)
{
    static const char s_szShape[] = "0000-00-00 00:00:00";
    if (nAt + STAMP_LEN > strText.size())
        return false;
    for (size_t i = 0; i < STAMP_LEN; ++i) {
        char c = strText[nAt + i];
        if (s_szShape[i] == '0' ? !isdigit((unsigned char)c) : c != s_szShape[i])
            return false;
    }
    return true;
}

} // namespace

const QW_PAYLOAD& BenchPayload()
{
    static QW_PAYLOAD s_payload;
    static bool s_bDone = false;
    if (!s_bDone) {
        s_bDone = true;
        Capture(s_payload);
    }
    return s_payload;
}

const unsigned char* BenchDumpData()
{
    static unsigned char s_data[QW_DUMP_MAX];
    static bool s_bFilled = false;
    if (!s_bFilled) {
        for (unsigned int i = 0; i < QW_DUMP_MAX; ++i)
            s_data[i] = (unsigned char)i;
        s_bFilled = true;
    }
    return s_data;
}

std::vector<std::string> SplitEntry(const std::string& strEntry)
{
    std::vector<std::string> pieces;
    if (strEntry.size() < ENTRY_STAMP + 4)
        return pieces;
    pieces.push_back(strEntry.substr(0, ENTRY_STAMP));
    pieces.push_back(strEntry.substr(ENTRY_STAMP, strEntry.size() - ENTRY_STAMP - 4));
    pieces.push_back(strEntry.substr(strEntry.size() - 4));
    return pieces;
}

std::vector<std::string> SplitDump(const std::string& strDump)
{
    std::vector<std::string> pieces;
    size_t nAt = 0;
    for (;;) {
        size_t nEnd = strDump.find("\r\n", nAt);
        if (nEnd == std::string::npos || nEnd == nAt)
            break;  // the closing (empty) line, or a text that is no dump
        if (nEnd < nAt + DUMP_STAMP + DUMP_LABEL)
            return std::vector<std::string>();
        pieces.push_back(strDump.substr(nAt, DUMP_STAMP));
        pieces.push_back(strDump.substr(nAt + DUMP_STAMP, DUMP_LABEL));
        pieces.push_back(strDump.substr(nAt + DUMP_STAMP + DUMP_LABEL, nEnd - nAt - DUMP_STAMP - DUMP_LABEL));
        pieces.push_back("\r\n");
        nAt = nEnd + 2;
    }
    if (pieces.empty() || strDump.compare(nAt, std::string::npos, "\r\n") != 0)
        return std::vector<std::string>();
    pieces.push_back("\r\n");
    return pieces;
}

std::string MaskStamps(const std::string& strText)
{
    std::string strMasked(strText);
    for (size_t nAt = 0; nAt + STAMP_LEN <= strMasked.size(); ++nAt) {
        if (!StampAt(strMasked, nAt))
            continue;
        for (size_t i = 0; i < STAMP_LEN; ++i)
            if (isdigit((unsigned char)strMasked[nAt + i]))
                strMasked[nAt + i] = '#';
        nAt += STAMP_LEN - 1;
    }
    return strMasked;
}

const std::string& BenchFolder()
{
    static const std::string s_strFolder = QwHostFolder() + QwSeparator() + "BenchFiles";
    static const bool s_bMade = BenchMakeDirs(s_strFolder);
    (void)s_bMade;
    return s_strFolder;
}
