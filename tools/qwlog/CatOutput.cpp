#include "Outputs.h"

#include "DumpLine.h"
#include "Parser.h"

#include "ControlText.h"

namespace qwlog {

namespace {

// The console mirror's colours as terminal sequences: banner light blue, stamp dark yellow,
// offset label dark cyan, byte text dark green.
const char kBanner[] = "\x1b[94m";
const char kStamp[] = "\x1b[33m";
const char kLabel[] = "\x1b[36m";
const char kBytes[] = "\x1b[32m";
const char kNormal[] = "\x1b[0m";

const size_t kEntryStampLen = 21;

// The stamp at the start of a record's first line (any form: fraction, thread) and the nTail
// characters after it (two spaces, or a dump's arrow and its spaces).
size_t StampWidth(const std::string& strLine, size_t nTail)
{
    StampHead head;
    return ParseStampHead(strLine, head) ? head.nLen + nTail : (nTail == 2 ? kEntryStampLen : kDumpIndent);
}

}  // namespace

std::string EscapeControls(const std::string& strText)
{
    // The library's own rule for what reaches a terminal (LogClass/ControlText),
    // on text that is UTF-8 by now.
    std::string strOut;
    strOut.reserve(strText.size());
    QwAppendShown(strOut, strText.data(), strText.size(), true);
    return strOut;
}

void CatOutput::Piece(const std::string& strText, const char* pszColour)
{
    if (strText.empty())
        return;
    if (m_bColour && pszColour != nullptr)
        std::fputs(pszColour, stdout);
    std::fwrite(strText.data(), 1, strText.size(), stdout);
    if (m_bColour && pszColour != nullptr)
        std::fputs(kNormal, stdout);
}

void CatOutput::Write(const Record& record, const std::string&)
{
    for (size_t i = 0; i < record.aLines.size(); ++i) {
        std::string strLine = EscapeControls(ToUtf8(record.aLines[i], m_page));
        if (record.kind == Kind::Open) {
            Piece(strLine, kBanner);
        } else if (record.kind == Kind::Entry) {
            size_t nStamp = i == 0 ? std::min(strLine.size(), StampWidth(strLine, 2)) : 0;
            Piece(strLine.substr(0, nStamp), kStamp);
            Piece(strLine.substr(nStamp), nullptr);
        } else {
            // The stamp and arrow of the first line, the indent of as many spaces of the others.
            size_t nHead = std::min(strLine.size(), i == 0 ? StampWidth(strLine, 5) : strLine.find_first_not_of(' '));
            size_t nLabel = strLine.find(": ", nHead);
            nLabel = nLabel == std::string::npos ? nHead : nLabel + 2;
            Piece(strLine.substr(0, nHead), i == 0 ? kStamp : nullptr);
            Piece(strLine.substr(nHead, nLabel - nHead), kLabel);
            Piece(strLine.substr(nLabel), kBytes);
        }
        std::fputc('\n', stdout);
    }
}

bool CatOutput::Finish()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace qwlog
