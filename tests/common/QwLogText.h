// The text a log file is made of, for every program that checks one: the banner
// Open writes and the shapes of stamps, entries and dump lines. Header only and free of the
// library, so the black-box suite and the hosts can use it too.
#ifndef QW_TEST_LOGTEXT_H
#define QW_TEST_LOGTEXT_H

#include <stddef.h>
#include <stdio.h>

#include <string>

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

// The stamp of a calendar time, as an entry begins with it.
inline std::string Stamp(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "%04d-%02d-%02d %02d:%02d:%02d", nYear, nMonth, nDay, nHour, nMin, nSec);
    return sz;
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

} // namespace qwtest

#endif
