// The library reads every conversion exactly as wvsprintfA reads it: the ones it
// knows go to it with their own argument and keep its bytes; the others never
// reach it, so no later conversion reads the wrong argument.
#include "FormatTable.h"
#include "Support.h"

#include <windows.h>

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace qwtest;

namespace {

class WinFormatTest : public QwTest {};

// Reads "AB" narrow, and one character then the end wide.
char s_szSentinel[8] = "AB";

// What wvsprintfA makes of a format, its zero bytes left out (as the library
// leaves them out).
std::string Platform(const char* pszFormat, ...)
{
    char szBuf[1025];
    va_list args;
    va_start(args, pszFormat);
    int nLen = wvsprintfA(szBuf, pszFormat, args);
    va_end(args);
    std::string strText(szBuf, nLen > 0 ? (size_t)nLen : 0);
    strText.erase(std::remove(strText.begin(), strText.end(), '\0'), strText.end());
    return strText;
}

// The formats of the table: each conversion followed by "|%d|%d".
std::vector<std::string> TableConversions()
{
    std::vector<std::string> flags = { "" };
    for (size_t nFrom = 0, nLen = 1; nLen <= 3; ++nLen) {
        size_t nTo = flags.size();
        for (size_t i = nFrom; i < nTo; ++i)
            for (const char* p = "-#0"; *p != '\0'; ++p)
                flags.push_back(flags[i] + *p);
        nFrom = nTo;
    }
    for (const char* psz : { "+", " ", "-+", "0 ", "#+0", "- #" })
        flags.push_back(psz);
    const char* const apszWidths[] = { "", "6" };
    const char* const apszPrecisions[] = { "", ".3" };
    const char* const apszSizes[] = { "", "l", "h", "w", "I64", "I32", "I", "ll", "hh", "L", "z", "j", "I6", "q" };
    const char* const pszTypes = "cCdipsSuxXfoegn%yI";
    std::vector<std::string> conversions;
    for (const std::string& strFlags : flags)
        for (const char* pszWidth : apszWidths)
            for (const char* pszPrecision : apszPrecisions)
                for (const char* pszSize : apszSizes)
                    for (const char* p = pszTypes; *p != '\0'; ++p)
                        conversions.push_back("%" + strFlags + pszWidth + pszPrecision + pszSize + *p);
    return conversions;
}

// The argument slots wvsprintfA read for the conversion that strText begins
// with, found from what the two "%d" after it printed of the slots
// (sentinel, 222, 333, 444).
int SlotsRead(const std::string& strText)
{
    size_t nLast = strText.rfind('|');
    size_t nFirst = nLast == std::string::npos || nLast == 0 ? std::string::npos : strText.rfind('|', nLast - 1);
    if (nFirst == std::string::npos)
        return -1;
    std::string strTail = strText.substr(nFirst);
    return strTail == "|222|333" ? 1 : strTail == "|333|444" ? 2 : 0;
}

// The slots the library reads for a conversion it hands to wvsprintfA.
int LibrarySlots(const QW_CONVERSION& conv)
{
    bool bWideInteger = conv.nSize == QW_SIZE_I64 && strchr("diuxX", conv.cType) != NULL;
    return bWideInteger ? (int)(8 / sizeof(void*)) : 1;
}

// What wvsprintfA gives for strFormat, whose first conversion is conv; with a
// decimal type, without the '#' after which it writes two bytes of whatever
// its buffer held (the library leaves that '#' out).
std::string WithoutStrayBytes(std::string strFormat, const QW_CONVERSION& conv, intptr_t a, intptr_t b, intptr_t c, intptr_t d)
{
    if (conv.bAlt && strchr("diu", conv.cType) != NULL)
        strFormat.erase(strFormat.find('#'), 1);
    return Platform(strFormat.c_str(), a, b, c, d);
}

} // namespace

TEST_F(WinFormatTest, TheLibraryReadsEveryConversionAsWvsprintfADoes)
{
    std::vector<std::string> failures;
    std::vector<std::string> conversions = TableConversions();
    int nKnown = 0;
    for (const std::string& strConv : conversions) {
        std::string strFormat = strConv + "|%d|%d";
        intptr_t a = (intptr_t)s_szSentinel, b = 222, c = 333, d = 444;
        std::string strPlatform = Platform(strFormat.c_str(), a, b, c, d);
        int nSlots = SlotsRead(strPlatform);
        QW_CONVERSION conv;
        bool bKnown = QwReadPlatformConversion(strConv.c_str(), conv);
        nKnown += bKnown ? 1 : 0;
        if (nSlots < 0 || bKnown != (nSlots != 0)) {
            failures.push_back(strConv + (bKnown ? ": library knows it, wvsprintfA does not" : ": wvsprintfA knows it"));
        } else if (bKnown && (nSlots != LibrarySlots(conv) || conv.nText != strConv.size())) {
            failures.push_back(strConv + ": read with another argument width or length");
        } else if (bKnown && Formatted(strFormat.c_str(), a, b, c, d) != WithoutStrayBytes(strFormat, conv, a, b, c, d)) {
            failures.push_back(strConv + ": \"" + Formatted(strFormat.c_str(), a, b, c, d) + "\", wvsprintfA \"" + strPlatform + "\"");
        }
    }
    EXPECT_EQ(46u * 2 * 2 * 14 * 18, conversions.size());
    EXPECT_LT(1000, nKnown);  // the table reaches both sides
    EXPECT_TRUE(failures.empty()) << failures.size() << " conversions differ, the first: " << failures[0];
}

TEST_F(WinFormatTest, FlagsOutOfWvsprintfAOrderNoLongerShiftTheArguments)
{
    // Each of these once ended the host: wvsprintfA reads no argument for them,
    // so the %s after them read the number as a pointer.
    struct { const char* pszConversion; std::string strGot, strExpected; } rows[] = {
        { "%#-6x", Formatted("%#-6x then %s", 0x2A, "name"), "0x2a   then name" },
        { "%0-5d", Formatted("%0-5d then %s", 42, "name"), "42    then name" },
        { "%--5d", Formatted("%--5d then %s", 42, "name"), "42    then name" },
        { "%##x", Formatted("%##x then %s", 42, "name"), "0x2a then name" },
    };
    for (const auto& row : rows) {
        QW_CONVERSION conv;
        EXPECT_FALSE(QwReadPlatformConversion(row.pszConversion, conv)) << row.pszConversion;
        EXPECT_EQ(row.strExpected, row.strGot) << row.pszConversion;
    }
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("flags"));
    EXPECT_EQ(TRUE, log->WriteLog("%#-6x then %s, %.2f", 0x2A, "name", 1.5));
    log.reset();
    EXPECT_EQ(BANNER + Entry(START_STAMP, "0x2a   then name, 1.50"),
              ReadWhole(Day() + SEP + "090307_flags.log"));
}

TEST_F(WinFormatTest, NumbersOfEverySignKeepWvsprintfABytes)
{
    const char* const apszConversions[] = { "%d", "%5d", "%-5d", "%05d", "%-05d", "%12i", "%x", "%08X", "%-8u",
                                            "%ld", "%I32d", "%I64d", "%Id", "%.3d", "%#x", "%#010x", "%c", "%5c" };
    const int anValues[] = { 0, 1, -1, -42, 65, INT_MIN, INT_MAX, 123456 };
    for (const char* pszConv : apszConversions) {
        QW_CONVERSION conv;
        ASSERT_TRUE(QwReadPlatformConversion(pszConv, conv)) << pszConv;
        for (int nValue : anValues) {
            std::string strFormat = std::string(pszConv) + "|%s";
            if (conv.nSize == QW_SIZE_I64) {
                long long n = (long long)nValue * 3000000000LL;
                EXPECT_EQ(Platform(strFormat.c_str(), n, "end"), Formatted(strFormat.c_str(), n, "end")) << pszConv << " " << n;
            } else if (conv.nSize == QW_SIZE_I) {
                intptr_t n = nValue;
                EXPECT_EQ(Platform(strFormat.c_str(), n, "end"), Formatted(strFormat.c_str(), n, "end")) << pszConv << " " << n;
            } else {
                EXPECT_EQ(Platform(strFormat.c_str(), nValue, "end"), Formatted(strFormat.c_str(), nValue, "end")) << pszConv << " " << nValue;
            }
        }
    }
}

namespace {

// The differences from glibc's text that docs/messages.md lists for the conversions
// wvsprintfA formats, in its order.
enum Difference { D_POINTER, D_SHORT, D_ZERO_PRECISION, D_NEGATIVE_PRECISION, D_ALT_HEX, D_NULL_PRECISION, D_STRING_PRECISION_0, D_COUNT };

const char* const s_apszDifferences[] = { "%p", "h not narrowed", "precision with '0' or of 0", "precision counts the '-'",
                                          "'#' with x and X", "null string under a precision below 6",
                                          "a precision of 0 on a string with '#', on %S or a wide string" };

// The listed difference that row's conversion and argument fall under; -1: none.
int ListedDifference(const FormatTableRow& row)
{
    QW_CONVERSION conv;
    QwReadPlatformConversion(row.pszFormat, conv);
    if (conv.cType == 'p')
        return D_POINTER;
    bool bString = row.nKind == FT_STRING || row.nKind == FT_WSTRING;
    if (bString && row.pszString == NULL)
        return conv.nPrecision >= 0 && conv.nPrecision < 6 ? D_NULL_PRECISION : -1;
    if (bString)
        return conv.nPrecision == 0 && (conv.bAlt || conv.cType == 'S' || row.nKind == FT_WSTRING) ? D_STRING_PRECISION_0 : -1;
    if (strchr("diuxX", conv.cType) == NULL)
        return -1;
    bool bSigned = conv.cType == 'd' || conv.cType == 'i';
    bool bNarrowed = bSigned ? (short)row.nValue != (int)row.nValue : (unsigned short)row.nValue != (unsigned int)row.nValue;
    if (conv.nSize == QW_SIZE_H && bNarrowed)
        return D_SHORT;
    if (conv.nPrecision >= 0 && (conv.bZero || conv.nPrecision == 0))
        return D_ZERO_PRECISION;
    if (conv.nPrecision > 0 && bSigned && row.nValue < 0)
        return D_NEGATIVE_PRECISION;
    if (conv.bAlt && (conv.cType == 'x' || conv.cType == 'X') && (row.nValue == 0 || conv.nWidth > 0))
        return D_ALT_HEX;
    return -1;
}

} // namespace

TEST_F(WinFormatTest, EveryDifferenceFromGlibcIsOneTheReadmeLists)
{
    // glibc's text of each row, from Linux (FormatTable.inc); here each row gives it,
    // or differs in a way docs/messages.md names. Every listed difference is seen.
    size_t anSeen[D_COUNT] = {};
    size_t nUnlisted = 0, nSame = 0;
    for (size_t i = 0; i < g_nFormatTable; ++i) {
        const FormatTableRow& row = g_aFormatTable[i];
        std::string strGot = FormatTableText(row);
        if (strGot == row.pszGlibc) {
            ++nSame;
            continue;
        }
        int nDifference = ListedDifference(row);
        if (nDifference >= 0)
            ++anSeen[nDifference];
        else if (++nUnlisted <= 20)
            ADD_FAILURE() << "unlisted: \"" << row.pszFormat << "\" of " << (row.nKind == FT_STRING || row.nKind == FT_WSTRING ? (row.pszString ? row.pszString : "NULL") : std::to_string(row.nValue))
                          << ": \"" << strGot << "\", glibc \"" << row.pszGlibc << "\"";
    }
    EXPECT_EQ(0u, nUnlisted);
    for (int d = 0; d < D_COUNT; ++d)
        EXPECT_LT(0u, anSeen[d]) << "listed but never seen: " << s_apszDifferences[d];
    EXPECT_LT(g_nFormatTable / 2, nSame);  // most of the table reads the same everywhere
}
