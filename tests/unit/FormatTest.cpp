// Messages read the same on every platform: one table of formats, one expected
// text for Linux, win64 and win32 alike (the C library's text of C99 printf).
#include "Support.h"

#include <stddef.h>
#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <cmath>
#include <string>

using namespace qwtest;

namespace {

class FormatTest : public QwTest {};

struct Row
{
    const char* pszFormat;
    std::string strGot, strExpected;
};

#define ROW(expected, format, ...) { format, Formatted(format, __VA_ARGS__), expected }

void ExpectRows(const Row* pRows, size_t nRows)
{
    for (size_t i = 0; i < nRows; ++i)
        EXPECT_EQ(pRows[i].strExpected, pRows[i].strGot) << "format \"" << pRows[i].pszFormat << "\"";
}

} // namespace

TEST_F(FormatTest, EveryPlatformGivesTheSameText)
{
    const Row rows[] = {
        // Conversions wvsprintfA knows, in the forms where it and the C library agree.
        ROW("3 items|   42|ab |ff|Q|100%", "%d items|%5d|%-3s|%x|%c|100%%", 3, 42, "ab", 255, 'Q'),
        ROW("-0042|0x1f|0X1F|00255|  abc|-7", "%05d|%#x|%#X|%05u|%5.3s|%ld", -42, 31, 31, 255u, "abcdef", -7L),
        // The bare conversions most messages use, at their extremes, a null and an empty string.
        ROW("-2147483648|2147483647|4294967295|ffffffff|FFFFFFFF|0|0|-1|(null)||end", "%d|%i|%u|%x|%X|%u|%x|%li|%s|%s|end",
            INT_MIN, INT_MAX, UINT_MAX, UINT_MAX, UINT_MAX, 0u, 0u, -1L, (const char*)NULL, ""),
        // Floating point: glibc's text, two-digit exponents included.
        ROW("1.500000 1.234500e+04 1.2e+04 0.0001 1E-05 1E+20", "%f %e %.1e %g %G %G", 1.5, 12345.0, 12345.0, 0.0001, 1e-5, 1e20),
        ROW("A 1.50 then x", "A %.2f then %s", 1.5, "x"),
        ROW("0 2 2 2e+04 0.667 1.23457e+06 123456", "%.0f %.0f %.0f %.0e %.3g %g %g", 0.5, 1.5, 2.5, 15000.0, 2.0 / 3, 1234567.0, 123456.0),
        ROW("+2.50| 3.000000e+00|2.|1.00000|-02.5|1.000e+00 |", "%+5.2f|% e|%#.0f|%#g|%05.1f|%-10.3e|", 2.5, 3.0, 2.0, 1.0, -2.5, 1.0),
        ROW("0x1.8p+1 -0X1.8P+1 0x2p+0 0x1.p+0", "%a %A %.0a %#a", 3.0, -3.0, 1.5, 1.0),
        ROW("inf -INF       -inf nan", "%f %E %10f %g", HUGE_VAL, -HUGE_VAL, -HUGE_VAL, std::fabs(std::nan(""))),
        ROW("1.e+02|0.000100|100.0000000", "%#.2g|%#.3g|%#.10g", 99.6, 0.0001, 100.0),
        ROW("3.33333333333333314829616256247390992939e-01", "%.38e", 1.0 / 3),
        // Integer sizes of C99.
        ROW("-5 18446744073709551615 7 44 -9 4 65535", "%lld %llu %zu %hhd %jd %td %hu", -5LL, 18446744073709551615ULL, (size_t)7, 300, (intmax_t)-9, (ptrdiff_t)4, 65535),
        ROW("ff 377 0377 1777777777777777777777", "%hhx %o %#o %llo", 255, 255, 255, 18446744073709551615ULL),
        // '*' widths and precisions, the '+' and ' ' flags, precisions of integers.
        ROW("    3|3    |3.14|  1.23e+03|wx    |", "%*d|%-*d|%.*f|%*.*e|%-*.*s|", 5, 3, -5, 3, 2, 3.14159, 10, 2, 1234.5, 6, 2, "wxyz"),
        ROW("+5| 5|  007|000ff   |    +005| |+|0|010", "%+d|% d|%5.3d|%-8.5x|%+08.3d|% .0d|%+.0d|%#.0o|%#.3o", 5, 5, 7, 255, 5, 0, 0, 0, 8),
        ROW("-00042|-42   |42    |   ab|  z", "%0*d|%-0*d|%*d|%+5s|% 3c", 6, -42, 6, -42, -6, 42, "ab", 'z'),
        // Flags out of wvsprintfA's order or repeated.
        ROW("0x2a   then name|42   |42   |0x2a", "%#-6x then %s|%0-5d|%--5d|%##x", 0x2A, "name", 42, 42, 42),
        // The Microsoft sizes read what they read on Windows.
        ROW("-1234567890123|18446744073709551615|ffffffffff|-7|x", "%I64d|%I64u|%I64x|%I32d|%s", -1234567890123LL, 18446744073709551615ULL, 0xFFFFFFFFFFLL, -7, "x"),
        ROW("-5 then x|   -5|ab", "%I64d then %s|%5I64d|%hs", -5LL, "x", -5LL, "ab"),
        // A conversion no printf knows ends the formatting: the rest stands as written, nothing more is read.
        ROW("%y|%5y|%5%|%-5%|abc %", "%y|%5y|%5%|%-5%|abc %", 1),
        ROW("1 %k then %s", "%d %k then %s", 1, "x"),
        ROW("%|%|abc %", "%5%|%-5%|abc %", 1),
        ROW("x|%1.2.3d|%s", "%s|%1.2.3d|%s", "x", 5, "y"),
        // glibc's own: the ' flag (no grouping in the C locale), %b and %B, the I flag (not a Windows size).
        ROW("1234567 items from peer", "%'d items from %s", 1234567, "peer"),
        ROW("1234.50|    7|x", "%'.2f|%'5u|%s", 1234.5, 7u, "x"),
        ROW("101|x", "%b|%s", 5u, "x"),
        ROW("1010|0b101|0B101|0|00011|11      |00000011|0b00000011|1|end", "%B|%#b|%#B|%#b|%.5b|%-8b|%08b|%#010b|%hhb|%s",
            10u, 5u, 5u, 0u, 3u, 3u, 3u, 3u, 257u, "end"),
        ROW("1111111111111111111111111111111111111111111111111111111111111111|x", "%llb|%s", 18446744073709551615ULL, "x"),
        ROW("              42|x", "%I16u|%s", 42u, "x"),
        ROW("42   |00042|ff|x", "%I-5d|%0I5d|%'Ix|%s", 42, 42, (size_t)255, "x"),  // "I" before the type: the Windows size
        // Positional arguments: each read once, by its type, in order of position.
        ROW("x 3", "%2$s %1$d", 3, "x"),
        ROW("      3.14|end", "%3$*1$.*2$f|%4$s", 10, 2, 3.14159, "end"),
        ROW("ab ab -5", "%1$s %1$s %2$lld", "ab", -5LL),
        ROW("   ab|q    |0xff|100%", "%2$5s|%1$-5c|%3$#x|100%%", 'q', "ab", 255u),
        ROW("-7|-1234567890123|x", "%1$I32d|%2$I64d|%3$s", -7, -1234567890123LL, "x"),
        ROW("a|01|%m|x", "%1$s|%2$.*3$d|%%m|%4$s", "a", 1, 2, "x"),
    };
    ExpectRows(rows, sizeof(rows) / sizeof(rows[0]));
}

TEST_F(FormatTest, RefusedPositionalFormatsReadNoArgument)
{
    // Each would read an argument by a guessed type, or none at all where the
    // format names one: the text from the first conversion on stands as written.
    // An argument that is read as a pointer would end the test.
    const Row rows[] = {
        ROW("a %1$d %s", "a %1$d %s", 5, 7),                    // positional, then plain
        ROW("5 %2$s", "%d %2$s", 5, 7),                         // plain, then positional
        ROW("a %1$d %3$s", "a %1$d %3$s", 5, 7, 9),             // position 2 left out
        ROW("%1$d %1$s", "%1$d %1$s", 5),                       // one position, two types
        ROW("%0$d", "%0$d", 5),                                 // no position 0
        ROW("%129$d", "%129$d", 5),                             // above the most a format may name
        ROW("%1$*d|%s", "%1$*d|%s", 5, 7),                      // a plain '*'
        ROW("%1$*2$d|%*d", "%1$*2$d|%*d", 5, 7),               // a plain '*' later on
        ROW("5 %2$y %3$s", "%1$d %2$y %3$s", 5, 7),             // no printf knows %y: stops there
    };
    ExpectRows(rows, sizeof(rows) / sizeof(rows[0]));
}

TEST_F(FormatTest, PercentNReadsItsArgumentAndWritesNothing)
{
    int n = 77;
    signed char c = 5;
    long long ll = 9;
    short h = 3;
    EXPECT_EQ("ab|cd|e|f|x", Formatted("ab%n|cd%hhn|e%lln|f%hn|%s", &n, &c, &ll, &h, "x"));
    EXPECT_EQ(77, n);
    EXPECT_EQ(5, c);
    EXPECT_EQ(9, ll);
    EXPECT_EQ(3, h);
}

TEST_F(FormatTest, AMessageKeepsUpTo2047Bytes)
{
    std::string strText(1600, 'a');
    std::string strArg(1400, 'b');
    std::string strHead(200, 'c');
    struct { std::string strGot, strExpected; } cases[] = {
        { Formatted(strText.c_str(), 0), strText },
        { Formatted("%s|%d", strText.c_str(), 5), strText + "|5" },
        { Formatted("%s%s|%.3f", strHead.c_str(), strArg.c_str(), 0.5), strHead + strArg + "|0.500" },
        { Formatted("%1700d", 5), std::string(1699, ' ') + "5" },
        { Formatted("%-1200s|%01200d", "x", -5), "x" + std::string(1199, ' ') + "|-" + std::string(845, '0') },
        { Formatted("%s%s", strText.c_str(), strText.c_str()), (strText + strText).substr(0, 2047) },
        { Formatted("%s%d|%x", std::string(2044, 'a').c_str(), -12345, 255), std::string(2044, 'a') + "-12" },
        { Formatted("%ls|%d", std::wstring(1500, L'w').c_str(), 5), std::string(1500, 'w') + "|5" },
        { Formatted("%ls", std::wstring(2100, L'w').c_str()), std::string(2047, 'w') },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].strExpected, cases[i].strGot) << "case " << i;

    LogPtr log = NewLog();
    ASSERT_EQ(TRUE, log->Open("long"));
    EXPECT_EQ(TRUE, log->WriteLog("%s, then %d", strText.c_str(), 7));
    log.reset();
    EXPECT_EQ(BANNER + Entry(START_STAMP, strText + ", then 7"),
              ReadWhole(Day() + SEP + "090307_long.log"));
}

TEST_F(FormatTest, HugeWidthsAndPrecisionsStayInsideTheMessage)
{
    std::string strZeros = "%" + std::string(5000, '0') + "5d";
    std::string strPercents(100001, '%');
    std::string strAll(2047, ' ');
    struct { std::string strGot, strExpected; } cases[] = {
        { Formatted("%2147483647d", 5), strAll },
        { Formatted("%.2147483647d", 5), std::string(2047, '0') },
        { Formatted("%.2147483647x|", 5), std::string(2047, '0') },
        { Formatted("%*d", INT_MIN, 5), "5" + std::string(2046, ' ') },
        { Formatted("%-2147483648d|", 5), "5" + std::string(2046, ' ') },
        { Formatted("%.2147483647f", 0.5).substr(0, 6), "0.5000" },
        { Formatted("%.*f", INT_MAX, 0.5).size() == 2047 ? "2047" : "other", "2047" },
        { Formatted("%99999999999999999999s|", "x"), strAll },
        { Formatted(strZeros.c_str(), 42), "00042" },
        { Formatted(strPercents.c_str(), 0), std::string(2047, '%') },
        // Above the digits worked out, the field is still laid out for the number's full length.
        { Formatted("%5000.3000f|", 1.5), std::string(1998, ' ') + "1.5" + std::string(46, '0') },
        { Formatted("%05000.3000f|", -1.5), "-" + std::string(1997, '0') + "1.5" + std::string(46, '0') },
        { Formatted("%5005.3000e|", 1.5), std::string(1999, ' ') + "1.5" + std::string(45, '0') },
        { Formatted("%#5005.3000g|", 1.5), std::string(2004, ' ') + "1.5" + std::string(40, '0') },
        { Formatted("%5000.3000g|", 1.5), std::string(4997, ' ').substr(0, 2047) },
        { Formatted("%5010.3000a|", 1.5), std::string(2003, ' ') + "0x1.8" + std::string(39, '0') },
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].strExpected, cases[i].strGot) << "case " << i;
}
