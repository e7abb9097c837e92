// Messages on Windows keep wvsprintfA's language; a conversion it does not know
// (%f, %*d, %lld) no longer shifts the arguments of the conversions after it.
#include "Support.h"

#include <string>

using namespace qwtest;

namespace {

class WinFormatTest : public QwTest {};

// What wvsprintfA itself makes of a format.
std::string Platform(const char* pszFormat, ...)
{
    char szBuf[1025];
    va_list args;
    va_start(args, pszFormat);
    wvsprintfA(szBuf, pszFormat, args);
    va_end(args);
    return szBuf;
}

} // namespace

TEST_F(WinFormatTest, AnUnknownConversionStopsFormattingBeforeItShiftsTheArguments)
{
    struct { std::string strGot, strExpected; } cases[] = {
        // Formats wvsprintfA knows whole: its own result, unchanged.
        { Formatted("%d items", 3), "3 items" },
        { Formatted("%s|%5d|%-3s|%x|%c|100%%", "s", 42, "ab", 255, 'Q'), "s|   42|ab |ff|Q|100%" },
        { Formatted("%f alone", 2.5), Platform("%f alone", 2.5) },
        { Formatted("%d then %f", 4, 2.5), Platform("%d then %f", 4, 2.5) },
        // An unknown conversion with a conversion after it: the known part, then the rest as written.
        { Formatted("%.2f then %s", 1.5, "x"), "%.2f then %s" },
        { Formatted("%d: %.2f then %s", 7, 1.5, "x"), "7: %.2f then %s" },
        { Formatted("%s and %*d", "a", 5, 3), Platform("%s and %*d", "a", 5, 3) },  // nothing read after it
        { Formatted("%*d and %s", 5, 3, "a"), "%*d and %s" },
        { Formatted("%lld %s", 1LL, "x"), "%lld %s" },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].strExpected, cases[i].strGot) << "case " << i;
    // The message limit stays wvsprintfA's: 1,023 bytes.
    std::string strLong = std::string(1500, 'a') + "%f %s";
    EXPECT_EQ(std::string(1023, 'a'), Formatted(strLong.c_str(), 1.0, "x"));
}

TEST_F(WinFormatTest, AnEntryWithAFloatingPointConversionIsWrittenAndTheHostGoesOn)
{
    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("float"));
    EXPECT_EQ(TRUE, log->WriteLog("%.2f then %s", 1.5, "x"));
    log.reset();
    EXPECT_EQ(std::string(BANNER) + "2024-05-01 09:03:07  %.2f then %s\r\n\r\n", ReadWhole(Day() + SEP + "090307_float.log"));
}
