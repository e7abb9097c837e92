#include "CodePages.h"

#include <cctype>

namespace qwlog {

namespace {

// strA and strB equal, ASCII case ignored.
bool SameName(const std::string& strA, const char* pszB)
{
    size_t i = 0;
    for (; i < strA.size() && pszB[i] != '\0'; ++i) {
        if (std::tolower((unsigned char)strA[i]) != std::tolower((unsigned char)pszB[i]))
            return false;
    }
    return i == strA.size() && pszB[i] == '\0';
}

// Appends code point nCode (below U+10000) to strOut as UTF-8.
void AppendUtf8(std::string& strOut, unsigned nCode)
{
    if (nCode < 0x80) {
        strOut += (char)nCode;
    } else if (nCode < 0x800) {
        strOut += (char)(0xC0 | (nCode >> 6));
        strOut += (char)(0x80 | (nCode & 0x3F));
    } else {
        strOut += (char)(0xE0 | (nCode >> 12));
        strOut += (char)(0x80 | ((nCode >> 6) & 0x3F));
        strOut += (char)(0x80 | (nCode & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at strText[i], or 0 when there is none.
size_t Utf8Length(const std::string& strText, size_t i)
{
    unsigned char c0 = (unsigned char)strText[i];
    if (c0 < 0x80)
        return 1;
    size_t nLen;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c0 >= 0xC2 && c0 <= 0xDF) { nLen = 2; }
    else if (c0 == 0xE0) { nLen = 3; lo = 0xA0; }
    else if (c0 == 0xED) { nLen = 3; hi = 0x9F; }
    else if (c0 >= 0xE1 && c0 <= 0xEF) { nLen = 3; }
    else if (c0 == 0xF0) { nLen = 4; lo = 0x90; }
    else if (c0 == 0xF4) { nLen = 4; hi = 0x8F; }
    else if (c0 >= 0xF1 && c0 <= 0xF3) { nLen = 4; }
    else return 0;
    if (i + nLen > strText.size())
        return 0;
    unsigned char c1 = (unsigned char)strText[i + 1];
    if (c1 < lo || c1 > hi)
        return 0;
    for (size_t k = 2; k < nLen; ++k) {
        unsigned char c = (unsigned char)strText[i + k];
        if (c < 0x80 || c > 0xBF)
            return 0;
    }
    return nLen;
}

}  // namespace

const CodePage* FindCodePage(const std::string& strName)
{
    for (size_t i = 0; i < g_nCodePages; ++i) {
        const CodePage& page = g_aCodePages[i];
        if (SameName(strName, page.pszName))
            return &page;
        for (const char* pszAlias : page.apszAliases) {
            if (pszAlias != nullptr && SameName(strName, pszAlias))
                return &page;
        }
    }
    return nullptr;
}

std::string CodePageNames()
{
    std::string strNames;
    for (size_t i = 0; i < g_nCodePages; ++i) {
        if (i > 0)
            strNames += ", ";
        strNames += g_aCodePages[i].pszName;
    }
    return strNames;
}

bool IsUtf8(const std::string& strText)
{
    for (size_t i = 0; i < strText.size();) {
        size_t nLen = Utf8Length(strText, i);
        if (nLen == 0)
            return false;
        i += nLen;
    }
    return true;
}

std::string ToUtf8(const std::string& strText, const CodePage& page)
{
    if (IsUtf8(strText))
        return strText;
    std::string strOut;
    strOut.reserve(strText.size() * 2);
    for (unsigned char c : strText)
        AppendUtf8(strOut, c < 0x80 ? c : page.pUpper[c - 0x80]);
    return strOut;
}

}  // namespace qwlog
