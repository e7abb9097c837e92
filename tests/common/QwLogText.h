// The text a log file is made of, for every program that checks one: the banner
// Open writes, stamps, entries and dumps. Written from the layout rules, not from
// the library's code, so that the two can be compared; header only and free of
// the library, so the black-box suite, the hosts and the fuzzers use it too.
#ifndef QW_TEST_LOGTEXT_H
#define QW_TEST_LOGTEXT_H

#include <stddef.h>

#include <string>
#include <vector>

namespace qwtest {

// What Open writes before the first entry of a file.
const char BANNER[] = "\r\n------\r\n\r\n\r\n";
// A stamp, "YYYY-MM-DD hh:mm:ss", is this long.
const size_t STAMP_LEN = 19;
// What stands before every dump line but the first.
const std::string DUMP_INDENT(24, ' ');

// Whether str holds the shape of a stamp at nPos: digits where the stamp has digits.
inline bool IsStamp(const std::string& str, size_t nPos = 0)
{
    static const char s_szShape[] = "dddd-dd-dd dd:dd:dd";
    if (str.size() < nPos + STAMP_LEN)
        return false;
    for (size_t i = 0; i < STAMP_LEN; ++i) {
        const char c = str[nPos + i];
        if (s_szShape[i] == 'd' ? (c < '0' || c > '9') : c != s_szShape[i])
            return false;
    }
    return true;
}

// One entry: the stamp, two spaces, the message, its line end and the empty line.
inline std::string Entry(const std::string& strStamp, const std::string& strMessage)
{
    return strStamp + "  " + strMessage + "\r\n\r\n";
}

// What a file holds after its banner; "<no banner>" and the whole text when it
// does not begin with one.
inline std::string AfterBanner(const std::string& strFile)
{
    const size_t nBanner = sizeof(BANNER) - 1;
    return strFile.compare(0, nBanner, BANNER) == 0 ? strFile.substr(nBanner) : "<no banner>" + strFile;
}

// A log file cut into its records: whether it begins with a banner, every record
// after that one (whole entries and dumps with their closing empty line, and any
// later banner as a record of its own), and whatever follows the last of them.
struct SplitFile
{
    bool bBanner;
    std::vector<std::string> entries;
    std::string strTail;
};

// Cuts strFile into its records; a record that does not end yet is the tail.
inline SplitFile SplitLog(const std::string& strFile)
{
    SplitFile split;
    const size_t nBanner = sizeof(BANNER) - 1;
    split.bBanner = strFile.compare(0, nBanner, BANNER) == 0;
    size_t nPos = split.bBanner ? nBanner : 0;
    while (nPos < strFile.size()) {
        if (strFile.compare(nPos, nBanner, BANNER) == 0) {
            split.entries.push_back(BANNER);
            nPos += nBanner;
            continue;
        }
        const size_t nEnd = strFile.find("\r\n\r\n", nPos);
        if (nEnd == std::string::npos)
            break;
        split.entries.push_back(strFile.substr(nPos, nEnd + 4 - nPos));
        nPos = nEnd + 4;
    }
    split.strTail = strFile.substr(nPos);
    return split;
}

// Digits of nValue in base nBase (upper-case letters), at least nMin of them.
inline std::string Digits(unsigned long long nValue, unsigned nBase, size_t nMin)
{
    const char* pszDigits = "0123456789ABCDEF";
    std::string str;
    do {
        str.insert(str.begin(), pszDigits[nValue % nBase]);
        nValue /= nBase;
    } while (nValue != 0);
    if (str.size() < nMin)
        str.insert(0, nMin - str.size(), '0');
    return str;
}

// The byte text of one dump line: each value and a space, then ';' once they
// reach 48 characters.
inline std::string DumpBytes(const unsigned char* pLine, size_t nCount, bool bHex)
{
    std::string str;
    for (size_t i = 0; i < nCount; ++i)
        str += Digits(pLine[i], bHex ? 16 : 10, 2) + " ";
    if (str.size() >= 48)
        str += ";";
    return str;
}

// One dump entry of nSize bytes: the stamp with its arrow, a line per 16 bytes
// (at least one), each with its offset label ("00000010h: ", "00000016d: ") and
// byte text, the indent before every line but the first, the closing empty line.
inline std::string DumpEntry(const std::string& strStamp, const unsigned char* pData, size_t nSize, bool bOut, bool bHex)
{
    std::string str = strStamp + (bOut ? " --> " : " <-- ");
    const size_t nLines = nSize == 0 ? 1 : (nSize + 15) / 16;
    for (size_t nLine = 0; nLine < nLines; ++nLine) {
        if (nLine != 0)
            str += DUMP_INDENT;
        str += Digits(nLine * 16, bHex ? 16 : 10, 8) + (bHex ? "h: " : "d: ");
        const size_t nCount = nSize - nLine * 16 < 16 ? nSize - nLine * 16 : 16;
        str += DumpBytes(pData + nLine * 16, nCount, bHex) + "\r\n";
    }
    return str + "\r\n";
}

} // namespace qwtest

#endif
