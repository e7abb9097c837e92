// Differential: the message formatter against glibc's vsnprintf on formats
// drawn at random from everything glibc's printf knows: the flags "-+ #0'I" in
// any order and number, widths and precisions as digits, '*' and "*m$", every
// size (the Microsoft ones too, against their C spelling), every type of
// "diouxXeEfFgGaAcsCSpnmbB%", and formats of positional conversions ("%n$")
// whose arguments come in any order. Each conversion is followed by a "%s" of
// a string of its own, so a conversion that reads the wrong argument, or none,
// ends the test there instead of passing by luck.
//
// Where the two differ on purpose the library's format is spelled apart: %n
// (glibc's "%.0s", which reads a pointer and writes nothing), %p with '+' or
// ' ' (the platform's %p has no sign), a %c of 0 (left out of the message).
// Not drawn: '#' on %m (glibc writes the errno's name, the library the text of
// %m), widths past 512 on wide strings (the platform's limit of 1,023 bytes),
// the sizes "q" and "L" of positional integers, which glibc 2.36 reads there
// as 64 bits but prints as 32 ("%1$qx" of 0x123456789abcdef: 89abcdef), a
// negative "*m$" width on a floating conversion with '0' (glibc pads it with
// zeros on the right: "%1$0*2$g" of 1.5 and -12 gives 1.5000000000), and a
// precision past 512 on %p (the platform's limit of 1,023 bytes).
#include "FormatTable.h"
#include "Support.h"

#include <errno.h>
#include <float.h>
#include <limits.h>
#include <locale.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace qwtest;

namespace {

class PosixFormatDiffTest : public QwTest {};

// The types an argument is passed as.
enum Kind { K_INT, K_LONG, K_LLONG, K_DOUBLE, K_LDOUBLE, K_PTR };

struct Value
{
    Kind kind;
    long long n;
    double d;
    long double ld;
    const void* p;
};

const size_t MAX_ARGS = 4;

// Formats drawn per run; the sanitizers' builds run some ten times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const size_t FORMAT_CASES = 40000;
#else
const size_t FORMAT_CASES = 200000;
#endif

// One drawn case: the format in the library's spelling and in glibc's, and
// the arguments in the order they are passed.
struct Case
{
    std::string strMine, strTheirs;
    Value aArgs[MAX_ARGS];
    size_t nArgs;
};

// What the first failures were, and how many cases ran.
struct Tally
{
    size_t nCases = 0;
    size_t nFailures = 0;
    std::vector<std::string> firsts;
};

Tally* s_pTally = nullptr;
int s_nTarget = 0;  // what the library's %n point at: it must stay as it was

// glibc's text less its zero bytes (a %c of 0), cut to a message's 2,047 bytes.
std::string Theirs(const char* pszFormat, ...)
{
    static char s_szBuf[8192];
    va_list args;
    va_start(args, pszFormat);
    int n = vsnprintf(s_szBuf, sizeof(s_szBuf), pszFormat, args);
    va_end(args);
    std::string strText(s_szBuf, n < 0 ? 0 : std::min((size_t)n, sizeof(s_szBuf) - 1));
    strText.erase(std::remove(strText.begin(), strText.end(), '\0'), strText.end());
    if (strText.size() > 2047)
        strText.resize(2047);
    return strText;
}

// Formats with both, the same arguments, and notes a difference.
template <typename... Ts>
void Compare(const Case& c, Ts... args)
{
    errno = EACCES;
    std::string strTheirs = Theirs(c.strTheirs.c_str(), args...);
    errno = EACCES;
    s_nTarget = 0x5A5A;
    std::string strMine = Formatted(c.strMine.c_str(), args...);
    ++s_pTally->nCases;
    if (strMine == strTheirs && s_nTarget == 0x5A5A)
        return;
    if (++s_pTally->nFailures > 10)
        return;
    size_t nAt = 0;  // where they part, shown with some text either side
    while (nAt < strMine.size() && nAt < strTheirs.size() && strMine[nAt] == strTheirs[nAt])
        ++nAt;
    size_t nFrom = nAt > 40 ? nAt - 40 : 0;
    s_pTally->firsts.push_back("\"" + c.strMine + "\" (glibc \"" + c.strTheirs + "\"), lengths " + std::to_string(strMine.size())
                               + "/" + std::to_string(strTheirs.size()) + ", from byte " + std::to_string(nFrom) + ": library \""
                               + strMine.substr(nFrom, 120) + "\", glibc \"" + strTheirs.substr(nFrom, 120) + "\"");
}

// Calls Compare with c's arguments from i on, each passed as its kind's type.
template <size_t N>
struct Caller
{
    template <typename... Ts>
    static void Call(const Case& c, size_t i, Ts... ts)
    {
        if (i == c.nArgs) {
            Compare(c, ts...);
            return;
        }
        const Value& v = c.aArgs[i];
        switch (v.kind) {
        case K_INT: Caller<N - 1>::Call(c, i + 1, ts..., (int)v.n); break;
        case K_LONG: Caller<N - 1>::Call(c, i + 1, ts..., (long)v.n); break;
        case K_LLONG: Caller<N - 1>::Call(c, i + 1, ts..., v.n); break;
        case K_DOUBLE: Caller<N - 1>::Call(c, i + 1, ts..., v.d); break;
        case K_LDOUBLE: Caller<N - 1>::Call(c, i + 1, ts..., v.ld); break;
        case K_PTR: Caller<N - 1>::Call(c, i + 1, ts..., v.p); break;
        }
    }
};

template <>
struct Caller<0>
{
    template <typename... Ts>
    static void Call(const Case& c, size_t, Ts... ts)
    {
        Compare(c, ts...);
    }
};

const char* const s_apszStrings[] = { "", "x", "hello", "a longer piece of text", "caf\xc3\xa9", NULL };
const wchar_t* const s_apwszWide[] = { L"", L"w", L"wide text", L"0123456789" };
const char* const s_apszTails[] = { "s0", "s1", "s2", "s3" };

// Draws values and pieces of formats.
struct Draw
{
    std::mt19937_64 rng;

    unsigned Below(unsigned n) { return (unsigned)(rng() % n); }
    bool OneIn(unsigned n) { return Below(n) == 0; }

    long long Integer()
    {
        static const long long s_anEdges[] = { 0, 1, -1, 7, -42, 255, 65537, INT_MIN, INT_MAX, UINT_MAX, LLONG_MIN, LLONG_MAX,
                                               1234567, -1024, 0x7F, 0x80, 100000 };
        switch (Below(3)) {
        case 0: return s_anEdges[Below(sizeof(s_anEdges) / sizeof(s_anEdges[0]))];
        case 1: return (long long)(rng() % 2001) - 1000;
        default: return (long long)rng();
        }
    }

    double Double()
    {
        static const double s_adEdges[] = { 0.0, -0.0, 1.0, 1.5, -2.5, 0.1, 99.6, 1e-5, 123456789.0, 1e300, -1e-300, 5e-324,
                                            DBL_MAX, HUGE_VAL, -HUGE_VAL, NAN };
        switch (Below(3)) {
        case 0: return s_adEdges[Below(sizeof(s_adEdges) / sizeof(s_adEdges[0]))];
        case 1: return (double)((long long)(rng() % 2000001) - 1000000) / 7;
        default: {
            unsigned long long nBits = rng();
            double d;
            memcpy(&d, &nBits, sizeof(d));
            return d;
        }
        }
    }

    // Flags from "-+ #0'I", none to four of them.
    std::string Flags()
    {
        std::string strFlags;
        for (unsigned i = Below(5); i > 0; --i)
            strFlags += "-+ #0'I"[Below(7)];
        return strFlags;
    }

    // Digits of a width or precision: mostly small, sometimes past what is worked out.
    std::string Digits() { return std::to_string(OneIn(40) ? 100 + Below(2900) : Below(41)); }
};

// Where a conversion takes its arguments from: indexes into the drawn values.
struct Conv
{
    std::string strFlags, strWidth, strPrecision, strSizeMine, strSizeTheirs;
    char cType = 'd';
    int nWidthArg = -1, nPrecisionArg = -1, nValueArg = -1, nTailArg = -1;
};

// The sizes of an integer conversion: the library's spelling, then glibc's.
const char* const s_apszIntegerSizes[][2] = { { "", "" }, { "hh", "hh" }, { "h", "h" }, { "l", "l" }, { "ll", "ll" }, { "q", "q" },
                                              { "L", "L" }, { "j", "j" }, { "z", "z" }, { "Z", "Z" }, { "t", "t" },
                                              { "I64", "ll" }, { "I32", "" }, { "I", "z" } };

// The kind an integer of size pszSize (glibc's spelling) is passed as.
Kind IntegerKind(const std::string& strSize)
{
    if (strSize == "" || strSize == "hh" || strSize == "h")
        return K_INT;
    return strSize == "ll" || strSize == "q" || strSize == "L" ? K_LLONG : K_LONG;
}

// Draws the value of conv (type and size already drawn) into v.
void DrawValue(Draw& draw, const Conv& conv, Value& v)
{
    v = Value{ K_INT, draw.Integer(), 0, 0, NULL };
    switch (conv.cType) {
    case 'c': case 'C':
        if (conv.strSizeTheirs == "l" || conv.cType == 'C')
            v.n &= 0x7F;  // a wide character the C locale can write
        break;
    case 's':
        v.kind = K_PTR;
        v.p = conv.strSizeTheirs == "l" ? (const void*)s_apwszWide[draw.Below(4)] : (const void*)s_apszStrings[draw.Below(6)];
        break;
    case 'S':
        v.kind = K_PTR;
        v.p = s_apwszWide[draw.Below(4)];
        break;
    case 'p':
        v.kind = K_PTR;
        v.p = draw.OneIn(5) ? NULL : (const void*)(uintptr_t)v.n;
        break;
    case 'n':
        v.kind = K_PTR;
        v.p = &s_nTarget;
        break;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        v.d = draw.Double();
        v.ld = (long double)v.d;
        v.kind = conv.strSizeTheirs == "L" ? K_LDOUBLE : K_DOUBLE;
        if (v.kind == K_LDOUBLE && draw.OneIn(4))
            v.ld = draw.OneIn(2) ? LDBL_MAX : v.ld / 3;
        break;
    default:
        v.kind = IntegerKind(conv.strSizeTheirs);
        break;
    }
}

// Draws the type and size of conv.
void DrawType(Draw& draw, Conv& conv, bool bPositional)
{
    static const char s_szTypes[] = "diouxXeEfFgGaAcsCSpnmbB%";
    conv.cType = s_szTypes[draw.Below(sizeof(s_szTypes) - 1)];
    if (bPositional && conv.cType == '%')
        conv.cType = 'd';
    if (strchr("diouxXbB", conv.cType) != NULL || conv.cType == 'n') {
        unsigned i = draw.Below(sizeof(s_apszIntegerSizes) / sizeof(s_apszIntegerSizes[0]));
        while (bPositional && (s_apszIntegerSizes[i][1][0] == 'q' || s_apszIntegerSizes[i][1][0] == 'L'))
            i = draw.Below(sizeof(s_apszIntegerSizes) / sizeof(s_apszIntegerSizes[0]));
        conv.strSizeMine = s_apszIntegerSizes[i][0];
        conv.strSizeTheirs = s_apszIntegerSizes[i][1];
    } else if (strchr("eEfFgGaA", conv.cType) != NULL) {
        static const char* const s_apszFloatSizes[] = { "", "l", "L" };
        conv.strSizeMine = conv.strSizeTheirs = s_apszFloatSizes[draw.Below(3)];
    } else if (conv.cType == 'c' || conv.cType == 's') {
        conv.strSizeMine = conv.strSizeTheirs = draw.OneIn(3) ? "l" : "";
    }
}

// Draws one conversion of a format into conv, its values onto args (the '*'
// width, the precision, the value, then the string of the "%s" after it).
// FALSE when they would not fit.
bool DrawConversion(Draw& draw, Conv& conv, bool bPositional, Case& c)
{
    DrawType(draw, conv, bPositional);
    conv.strFlags = draw.Flags();
    if (conv.cType == 'm')
        conv.strFlags.erase(std::remove(conv.strFlags.begin(), conv.strFlags.end(), '#'), conv.strFlags.end());
    bool bWide = conv.cType == 'S' || (conv.cType == 's' && conv.strSizeTheirs == "l");
    bool bStars = conv.cType != 'n' && conv.cType != '%';
    bool bStarWidth = bStars && draw.OneIn(5), bStarPrecision = bStars && draw.OneIn(5);
    bool bValue = conv.cType != 'm' && conv.cType != '%';
    bool bRightZeros = bPositional && strchr("eEfFgGaA", conv.cType) != NULL && conv.strFlags.find('0') != std::string::npos;
    if (c.nArgs + bStarWidth + bStarPrecision + bValue + 1 > MAX_ARGS)
        return false;
    if (bStarWidth) {
        conv.nWidthArg = (int)c.nArgs;
        long long nWidth = draw.OneIn(30) && !bWide ? 2100 + draw.Below(1000) : (long long)draw.Below(81) - 40;
        c.aArgs[c.nArgs++] = Value{ K_INT, bRightZeros && nWidth < 0 ? -nWidth : nWidth, 0, 0, NULL };
    } else if (draw.OneIn(2)) {
        conv.strWidth = bWide ? std::to_string(draw.Below(41)) : draw.Digits();
    }
    if (bStarPrecision) {
        conv.nPrecisionArg = (int)c.nArgs;
        bool bBig = draw.OneIn(30) && conv.cType != 'p';
        c.aArgs[c.nArgs++] = Value{ K_INT, bBig ? 2100 + draw.Below(1000) : (long long)draw.Below(50) - 8, 0, 0, NULL };
    } else if (conv.cType != '%' && draw.OneIn(2)) {
        conv.strPrecision = draw.OneIn(10) ? "." : "." + (conv.cType == 'p' ? std::to_string(draw.Below(41)) : draw.Digits());
    }
    if (bValue) {
        conv.nValueArg = (int)c.nArgs;
        DrawValue(draw, conv, c.aArgs[c.nArgs++]);
    }
    conv.nTailArg = (int)c.nArgs;
    c.aArgs[c.nArgs] = Value{ K_PTR, 0, 0, 0, s_apszTails[c.nArgs] };
    ++c.nArgs;
    return true;
}

// What follows the flags of conv in the library's spelling, up to its type;
// sPos gives each argument's position ("" when plain).
std::string AfterFlags(const Conv& conv, const std::vector<std::string>& positions, bool bMine)
{
    std::string str;
    str += conv.nWidthArg >= 0 ? "*" + positions[conv.nWidthArg] : conv.strWidth;
    str += conv.nPrecisionArg >= 0 ? ".*" + positions[conv.nPrecisionArg] : conv.strPrecision;
    return str + (bMine ? conv.strSizeMine : conv.strSizeTheirs) + conv.cType;
}

// conv written out, with "%s" and its string after it.
void Render(const Conv& conv, const std::vector<std::string>& positions, Case& c)
{
    std::string strPos = conv.nValueArg >= 0 ? positions[conv.nValueArg] : "";
    std::string strAfter = AfterFlags(conv, positions, true);
    std::string strFlags = conv.strFlags;
    // An 'I' just before the type (or "32"/"64" and the type) is the Windows size:
    // keep glibc's flag away from there.
    bool bSize = strchr("diouxXeEfFgGaAcsCSpnmbB%", strAfter[0]) != NULL
                 || ((strAfter.compare(0, 2, "32") == 0 || strAfter.compare(0, 2, "64") == 0) && strAfter.size() > 2
                     && strchr("diouxXeEfFgGaAcsCSpnmbB%", strAfter[2]) != NULL);
    if (bSize && !strFlags.empty() && strFlags.back() == 'I') {
        while (!strFlags.empty() && strFlags.back() == 'I')
            strFlags.pop_back();
        if (!strFlags.empty())
            strFlags = "I" + strFlags;
    }
    c.strMine += "%" + strPos + strFlags + strAfter;
    if (conv.cType == 'n') {
        c.strTheirs += "%" + strPos + ".0s";
    } else {
        std::string strTheirFlags = strFlags;
        if (conv.cType == 'p')
            strTheirFlags.erase(std::remove_if(strTheirFlags.begin(), strTheirFlags.end(), [](char ch) { return ch == '+' || ch == ' '; }),
                                strTheirFlags.end());
        c.strTheirs += "%" + strPos + strTheirFlags + AfterFlags(conv, positions, false);
    }
    std::string strTail = "|%" + positions[conv.nTailArg] + "s|";
    c.strMine += strTail;
    c.strTheirs += strTail;
}

// Draws a case: one or two conversions, plain or all positional.
Case DrawCase(Draw& draw)
{
    Case c;
    c.nArgs = 0;
    bool bPositional = draw.OneIn(3);
    std::vector<Conv> convs;
    for (int i = 0; i < 2; ++i) {
        Conv conv;
        if (!DrawConversion(draw, conv, bPositional, c))
            break;
        convs.push_back(conv);
    }
    // Positional: the arguments are passed in an order drawn at random, and
    // each conversion names where its own went.
    std::vector<std::string> positions(c.nArgs);
    if (bPositional) {
        std::vector<size_t> order(c.nArgs);
        for (size_t i = 0; i < c.nArgs; ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), draw.rng);
        Value aPassed[MAX_ARGS];
        for (size_t i = 0; i < c.nArgs; ++i) {
            positions[i] = std::to_string(order[i] + 1) + "$";
            aPassed[order[i]] = c.aArgs[i];
        }
        std::copy(aPassed, aPassed + c.nArgs, c.aArgs);
    }
    c.strMine = c.strTheirs = draw.OneIn(2) ? "n=" : "";
    for (const Conv& conv : convs)
        Render(conv, positions, c);
    return c;
}

} // namespace

TEST_F(PosixFormatDiffTest, EveryConversionGlibcKnowsGivesGlibcsText)
{
    ASSERT_STREQ("C", setlocale(LC_ALL, NULL));  // no grouping, no other digits: glibc's ' and I change nothing
    Tally tally;
    s_pTally = &tally;
    Draw draw;
    draw.rng.seed(20261209);
    const size_t nCases = FORMAT_CASES;
    for (size_t i = 0; i < nCases; ++i) {
        Case c = DrawCase(draw);
        Caller<MAX_ARGS>::Call(c, 0);
    }
    s_pTally = nullptr;
    EXPECT_EQ(nCases, tally.nCases);
    EXPECT_EQ(0u, tally.nFailures) << "first: " << (tally.firsts.empty() ? "" : tally.firsts[0]);
    for (const std::string& str : tally.firsts)
        ADD_FAILURE() << str;
}

TEST_F(PosixFormatDiffTest, TheConversionsHandedToThePlatformGiveGlibcsText)
{
    // The table the Windows builds are held to (WinFormatTest.cpp): here every row is glibc's text.
    size_t nDiffer = 0;
    for (size_t i = 0; i < g_nFormatTable; ++i) {
        const FormatTableRow& row = g_aFormatTable[i];
        std::string strGot = FormatTableText(row);
        if (strGot != row.pszGlibc && ++nDiffer <= 10)
            ADD_FAILURE() << "\"" << row.pszFormat << "\" of " << row.nValue << ": \"" << strGot << "\", glibc \"" << row.pszGlibc << "\"";
    }
    EXPECT_EQ(0u, nDiffer) << "of " << g_nFormatTable;
    EXPECT_LT(10000u, g_nFormatTable);
}
