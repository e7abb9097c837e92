#include "DumpLine.h"

namespace qwlog {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }
int HexValue(char c) { return IsDigit(c) ? c - '0' : c - 'A' + 10; }

// Reads the label at s[nPos]; on success nPos stands after its ": ".
bool ParseLabel(const std::string& s, size_t& nPos, bool& bHex, uint64_t& nOffset)
{
    size_t nEnd = nPos;
    while (nEnd < s.size() && IsUpperHex(s[nEnd]) && nEnd - nPos < 11)
        ++nEnd;
    size_t nDigits = nEnd - nPos;
    if (nEnd + 2 > s.size() || s[nEnd + 1] != ':')
        return false;
    if (nEnd + 2 < s.size() && s[nEnd + 2] != ' ')
        return false;
    nOffset = 0;
    if (s[nEnd] == 'h' && nDigits == 8) {
        bHex = true;
        for (size_t i = nPos; i < nEnd; ++i)
            nOffset = nOffset * 16 + HexValue(s[i]);
    } else if (s[nEnd] == 'd' && nDigits >= 8 && nDigits <= 10) {
        bHex = false;
        for (size_t i = nPos; i < nEnd; ++i) {
            if (!IsDigit(s[i]))
                return false;
            nOffset = nOffset * 10 + (s[i] - '0');
        }
    } else {
        return false;
    }
    if (nEnd + 2 >= s.size())
        return false;  // the label always ends in ": "
    nPos = nEnd + 3;
    return true;
}

// Hex byte text: n values "XX ", and ';' after the sixteenth.
bool ParseHexText(const std::string& s, size_t nPos, DumpLine& line)
{
    std::string strText = s.substr(nPos);
    size_t nValues = 0;
    size_t i = 0;
    while (i + 3 <= strText.size() && nValues < kValuesPerLine && IsUpperHex(strText[i]) &&
           IsUpperHex(strText[i + 1]) && strText[i + 2] == ' ') {
        line.abValues.push_back((unsigned char)(HexValue(strText[i]) * 16 + HexValue(strText[i + 1])));
        ++nValues;
        i += 3;
    }
    line.nSeen = nValues;
    if (nValues == kValuesPerLine)
        return strText.size() == i + 1 && strText[i] == ';';
    line.bShort = true;
    return i == strText.size();
}

// A whole decimal value as "%02d" writes it: two digits below 100, three from 100 to 255.
bool DecimalValue(const std::string& strTok, unsigned& nValue)
{
    if (strTok.size() < 2 || strTok.size() > 3)
        return false;
    nValue = 0;
    for (char c : strTok) {
        if (!IsDigit(c))
            return false;
        nValue = nValue * 10 + (c - '0');
    }
    if (strTok.size() == 3)
        return nValue >= 100 && nValue <= 255;
    return true;
}

// True when a value token that the cut may have shortened is certainly whole: three digits,
// or two digits that no value from 100 to 255 starts with.
bool WholeDespiteCut(const std::string& strTok)
{
    if (strTok.size() == 3)
        return true;
    if (strTok.size() != 2)
        return false;
    return strTok[0] == '0' || strTok[0] > '2' || (strTok[0] == '2' && strTok[1] > '5');
}

// Decimal byte text holding every value: "%02d " each, nothing after the last space.
bool ParseWholeDecText(const std::string& strText, DumpLine& line)
{
    size_t i = 0;
    while (i < strText.size()) {
        size_t nSpace = strText.find(' ', i);
        unsigned nValue = 0;
        if (nSpace == std::string::npos || line.abValues.size() == kValuesPerLine ||
            !DecimalValue(strText.substr(i, nSpace - i), nValue))
            return false;
        line.abValues.push_back((unsigned char)nValue);
        i = nSpace + 1;
    }
    line.nSeen = line.abValues.size();
    line.bShort = line.abValues.size() < kValuesPerLine;
    return true;
}

// The values of a decimal byte text into line, each "%02d " but, where the line was
// cut (line.bCut), the last, which counts only when it is whole despite the cut.
// False when the text is not such a text.
bool ReadDecValues(const std::string& strText, DumpLine& line)
{
    size_t i = 0;
    while (i < strText.size()) {
        size_t nSpace = strText.find(' ', i);
        bool bOpen = nSpace == std::string::npos;  // the cut fell inside or right after it
        if (bOpen && !line.bCut)
            return false;
        std::string strTok = strText.substr(i, bOpen ? std::string::npos : nSpace - i);
        unsigned nValue = 0;
        ++line.nSeen;
        if (bOpen) {
            if (!IsDigit(strTok[0]) || strTok.size() > 3 || (strTok.size() >= 2 && !DecimalValue(strTok, nValue)))
                return false;
            if (WholeDespiteCut(strTok))
                line.abValues.push_back((unsigned char)nValue);
            return true;
        }
        if (!DecimalValue(strTok, nValue) || line.abValues.size() == kValuesPerLine)
            return false;
        line.abValues.push_back((unsigned char)nValue);
        i = nSpace + 1;
    }
    return true;
}

// Decimal byte text: values "%02d ", and ';' after a text of 48 characters or more (a text of
// exactly 48 may be an older writer's cut).
bool ParseDecText(const std::string& s, size_t nPos, DumpLine& line, bool bKeepsValues)
{
    std::string strText = s.substr(nPos);
    bool bSemi = !strText.empty() && strText.back() == ';';
    if (bSemi && strText.size() > kCutAt + 1) {
        strText.pop_back();
        line.bLong = true;
        return ParseWholeDecText(strText, line);
    }
    if (bSemi && strText.size() == kCutAt + 1 && bKeepsValues && strText[kCutAt - 1] == ' ') {
        strText.pop_back();
        return ParseWholeDecText(strText, line);
    }
    if (strText.size() == kCutAt + 1 && strText[kCutAt] == ';') {
        line.bCut = true;
        strText.resize(kCutAt);
    }
    if (!ReadDecValues(strText, line))
        return false;
    line.bShort = !line.bCut && line.abValues.size() < kValuesPerLine;
    return line.bCut || line.bShort;
}

}  // namespace

bool IsStamp(const std::string& s, size_t nPos)
{
    static const char kPattern[] = "dddd-dd-dd dd:dd:dd";
    if (s.size() < nPos + kStampLen)
        return false;
    for (size_t i = 0; i < kStampLen; ++i) {
        char c = s[nPos + i];
        if (kPattern[i] == 'd' ? !IsDigit(c) : c != kPattern[i])
            return false;
    }
    return true;
}

bool ParseDumpLine(const std::string& s, size_t nPos, DumpLine& line, bool bKeepsValues)
{
    line = DumpLine();
    if (!ParseLabel(s, nPos, line.bHex, line.nOffset))
        return false;
    return line.bHex ? ParseHexText(s, nPos, line) : ParseDecText(s, nPos, line, bKeepsValues);
}

}  // namespace qwlog
