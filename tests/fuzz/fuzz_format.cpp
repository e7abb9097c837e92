// Differential: the library's message formatter against the C library. The
// input builds a format of up to four conversions (the flags "-+ #0'I" in any
// order and number, widths and precisions, '*' among them, every length and
// every type of "diouxXeEfFgGaAcsCSpnmbB%"), its
// arguments and a buffer size; the formatter must give what vsnprintf gives,
// byte for byte. That covers both of its sides on this platform: conversions
// read as wvsprintfA reads them go to the C library one at a time, the others
// (floating point, C99 sizes, '*', '+' and ' ', flags out of wvsprintfA's order)
// are laid out by the portable code that Windows runs too. The library's copy
// of the format spells some conversions the Microsoft way ("I64" for "ll",
// "I32" for none, "I" for "z"), and may hold %n where vsnprintf's holds "%.0s":
// the same text either way, and the %n target must stay as it was. The same
// input also checks the dump's labels and values against snprintf with their
// literal formats. Wide strings the locale cannot encode are where the two may
// differ on purpose (vsnprintf fails): such cases are not compared.
#include "DumpText.h"
#include "Formatter.h"
#include "TxtLog.h"

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

namespace {

// Argument kinds: the types the conversions read. On this platform every
// integer length past int (l, ll, j, z, t) is 64 bits, passed as long long.
enum Kind { K_INT, K_LLONG, K_DOUBLE, K_LDOUBLE, K_STR, K_WSTR };

struct Arg
{
    Kind kind;
    long long n;
    double d;
    long double ld;
    const char* psz;
    const wchar_t* pwsz;
};

const size_t MAX_ARGS = 4;

// Reads the input a byte at a time; zeros once it is used up.
struct Input
{
    const uint8_t* p;
    size_t n;
    uint8_t Byte()
    {
        if (n == 0)
            return 0;
        --n;
        return *p++;
    }
    long long Wide()
    {
        unsigned long long v = 0;
        for (int i = 0; i < 8; ++i)
            v = (v << 8) | Byte();
        return (long long)v;
    }
};

// The library's spelling of the format being compared, and what its %n point at.
std::string s_strMine;
int s_nTarget = 0;

void Mine(char* pBuf, size_t nSize, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    QwFormatV(pBuf, nSize, pszFormat, args);
    va_end(args);
}

int Theirs(char* pBuf, size_t nSize, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int n = vsnprintf(pBuf, nSize, pszFormat, args);
    va_end(args);
    return n;
}

// Formats with both and compares: the library gives the C library's text less
// its zero bytes (a %c of 0), cut to the buffer, and terminated.
template <typename... Ts>
void Compare(size_t nSize, const char* pszFormat, Ts... args)
{
    static char a[4096], b[4096];
    memset(a, 'A', sizeof(a));
    memset(b, 'A', sizeof(b));
    errno = EACCES;  // %m's text
    int n = Theirs(b, sizeof(b), pszFormat, args...);
    errno = EACCES;
    s_nTarget = 0x5A5A;
    Mine(a, nSize, s_strMine.c_str(), args...);
    if (s_nTarget != 0x5A5A) {
        fprintf(stderr, "%%n wrote through its argument: \"%s\"\n", s_strMine.c_str());
        abort();
    }
    if (n < 0)
        return;  // an unencodable wide character: the formatter keeps the rest on purpose
    std::string strTheirs(b, (size_t)n < sizeof(b) - 1 ? (size_t)n : sizeof(b) - 1);
    strTheirs.erase(std::remove(strTheirs.begin(), strTheirs.end(), '\0'), strTheirs.end());
    strTheirs.resize(strTheirs.size() < nSize - 1 ? strTheirs.size() : nSize - 1);
    if (memcmp(a, strTheirs.c_str(), strTheirs.size() + 1) != 0) {
        fprintf(stderr, "format differs: \"%s\" (library: \"%s\") size %zu\n  vsnprintf: %s\n  library:   %.*s\n",
                pszFormat, s_strMine.c_str(), nSize, strTheirs.c_str(), (int)strTheirs.size(), a);
        abort();
    }
}

// Calls Compare with the arguments of args[i..], each as its kind's type.
template <size_t N>
struct Caller
{
    template <typename... Ts>
    static void Call(const Arg* args, size_t nArgs, size_t i, size_t nSize, const char* pszFormat, Ts... ts)
    {
        if (i == nArgs) {
            Compare(nSize, pszFormat, ts...);
            return;
        }
        const Arg& a = args[i];
        switch (a.kind) {
        case K_INT: Caller<N - 1>::Call(args, nArgs, i + 1, nSize, pszFormat, ts..., (int)a.n); break;
        case K_LLONG: Caller<N - 1>::Call(args, nArgs, i + 1, nSize, pszFormat, ts..., a.n); break;
        case K_DOUBLE: Caller<N - 1>::Call(args, nArgs, i + 1, nSize, pszFormat, ts..., a.d); break;
        case K_LDOUBLE: Caller<N - 1>::Call(args, nArgs, i + 1, nSize, pszFormat, ts..., a.ld); break;
        case K_STR: Caller<N - 1>::Call(args, nArgs, i + 1, nSize, pszFormat, ts..., a.psz); break;
        case K_WSTR: Caller<N - 1>::Call(args, nArgs, i + 1, nSize, pszFormat, ts..., a.pwsz); break;
        }
    }
};

template <>
struct Caller<0>
{
    template <typename... Ts>
    static void Call(const Arg*, size_t, size_t, size_t nSize, const char* pszFormat, Ts... ts)
    {
        Compare(nSize, pszFormat, ts...);
    }
};

const char* const s_apszStrings[] = { "", "x", "hello", "a longer piece of text with spaces", "\t\"quoted\\\"", "caf\xc3\xa9", NULL };
const wchar_t* const s_apwszWide[] = { L"", L"w", L"wide text", L"caf\u00e9", L"\u65e5\u672c" };

// TRUE for the conversion letters glibc's printf knows.
bool KnownType(char c)
{
    return c != '\0' && strchr("diouxXeEfFgGaAcsCSpnmbB%", c) != NULL;
}

// The library's spelling of an integer size: the Microsoft one where it means
// the same, when bMicrosoft.
std::string MineSize(const std::string& strLength, bool bMicrosoft)
{
    if (!bMicrosoft)
        return strLength;
    if (strLength == "ll")
        return "I64";
    if (strLength == "z")
        return "I";
    return strLength == "" ? "I32" : strLength;
}

// Adds one conversion to strFormat (strMine in the library's spelling) and its
// arguments to args; FALSE when they would not fit.
bool AddConversion(Input& in, std::string& strFormat, std::string& strMine, Arg* args, size_t& nArgs)
{
    static const char s_szTypes[] = "diuxXocsfeEgGaApSn%bBmC";
    static const char* const s_apszLengths[] = { "", "", "", "hh", "h", "l", "ll", "j", "z", "t", "L" };
    uint8_t nFlags = in.Byte(), nWidth = in.Byte(), nPrecision = in.Byte();
    char cType = s_szTypes[in.Byte() % (sizeof(s_szTypes) - 1)];
    const char* pszLength = s_apszLengths[in.Byte() % (sizeof(s_apszLengths) / sizeof(s_apszLengths[0]))];
    bool bStarWidth = (nWidth & 0xC0) == 0xC0, bStarPrecision = (nPrecision & 0xC0) == 0xC0;
    if (cType == '%') {
        strFormat += "%%";
        strMine += "%%";
        return true;
    }
    if (nArgs + 1 + bStarWidth + bStarPrecision > MAX_ARGS)
        return false;
    if (cType == 'n') {
        strFormat += "%.0s";  // reads a pointer, writes nothing
        strMine += std::string("%") + pszLength + "n";
        args[nArgs++] = Arg{ K_STR, 0, 0, 0, (const char*)&s_nTarget, NULL };
        return true;
    }
    std::string strConversion = "%";
    std::string strFlags;
    for (int i = 0; i < (nFlags >> 5); ++i)  // up to seven flags, in any order, repeats too
        strFlags += "-+ #0'I"[in.Byte() % 7];
    if (cType == 'm')  // glibc's %#m is the errno's name; the library writes %m's text
        strFlags.erase(std::remove(strFlags.begin(), strFlags.end(), '#'), strFlags.end());
    if (bStarWidth) {
        strConversion += '*';
        args[nArgs++] = Arg{ K_INT, (int8_t)in.Byte(), 0, 0, NULL, NULL };
    } else if (nWidth & 0x80) {
        strConversion += std::to_string(nWidth % 40);
    }
    if (bStarPrecision) {
        strConversion += ".*";
        args[nArgs++] = Arg{ K_INT, (int8_t)in.Byte(), 0, 0, NULL, NULL };
    } else if (nPrecision & 0x80) {
        strConversion += "." + std::to_string(nPrecision % 25);
    }
    Arg arg = { K_INT, in.Wide(), 0, 0, NULL, NULL };
    std::string strLength = pszLength;
    switch (cType) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'b': case 'B':
        if (strLength == "L")
            strLength = "ll";
        arg.kind = (strLength == "" || strLength == "h" || strLength == "hh") ? K_INT : K_LLONG;
        break;
    case 'c':
        strLength = (strLength == "l") ? "l" : "";
        arg.kind = K_INT;
        arg.n = strLength == "l" ? (long long)(arg.n & 0x7F) : arg.n;
        break;
    case 'C':
        strLength = "";
        arg.kind = K_INT;
        arg.n &= 0x7F;
        break;
    case 'm':
        strLength = "";
        break;
    case 's':
        strLength = (strLength == "l") ? "l" : "";
        arg.kind = strLength == "l" ? K_WSTR : K_STR;
        arg.psz = s_apszStrings[(unsigned long long)arg.n % 7];
        arg.pwsz = s_apwszWide[(unsigned long long)arg.n % 5];
        break;
    case 'S':
        strLength = "";
        arg.kind = K_WSTR;
        arg.pwsz = s_apwszWide[(unsigned long long)arg.n % 5];
        break;
    case 'p':
        strLength = "";
        arg.kind = K_STR;
        arg.psz = (const char*)(uintptr_t)arg.n;
        break;
    default:  // floating point
        strLength = (strLength == "L") ? "L" : "";
        arg.kind = strLength == "L" ? K_LDOUBLE : K_DOUBLE;
        memcpy(&arg.d, &arg.n, sizeof(arg.d));
        arg.ld = (long double)arg.d;
        if (in.Byte() & 1)
            arg.d = arg.ld = (long double)(arg.n % 100000) / 7;
        break;
    }
    bool bInteger = strchr("diuxXobB", cType) != NULL;
    std::string strMineLength = bInteger ? MineSize(strLength, (nFlags & 1) != 0) : strLength;
    // An 'I' just before the type, or before "32"/"64" and the type, is the library's
    // Windows size: glibc's flag is kept away from there (moved to the front, or dropped).
    std::string strRest = strConversion.substr(1) + strMineLength + cType;
    bool bSizeNext = KnownType(strRest[0]) || ((strRest.compare(0, 2, "32") == 0 || strRest.compare(0, 2, "64") == 0)
                                               && strRest.size() > 2 && KnownType(strRest[2]));
    if (bSizeNext && !strFlags.empty() && strFlags.back() == 'I') {
        while (!strFlags.empty() && strFlags.back() == 'I')
            strFlags.pop_back();
        strFlags = strFlags.empty() ? strFlags : "I" + strFlags;
    }
    strConversion.insert(1, strFlags);
    std::string strTheirs = strConversion;
    if (cType == 'p')  // the platform's %p, which has no sign: '+' and ' ' mean nothing to it
        strTheirs.erase(std::remove_if(strTheirs.begin(), strTheirs.end(), [](char c) { return c == '+' || c == ' '; }),
                        strTheirs.end());
    strFormat += strTheirs + strLength + cType;
    strMine += strConversion + strMineLength + cType;
    if (cType != 'm')  // %m reads no argument
        args[nArgs++] = arg;
    return true;
}

// Labels and values of the dump against snprintf with their literal formats.
void CompareDumpPieces(Input& in)
{
    unsigned int nOffset = (unsigned int)in.Wide();
    char szMine[16], szTheirs[16];
    for (int bHex = 0; bHex < 2; ++bHex) {
        size_t n = QwPutDumpLabel(szMine, nOffset, bHex);
        snprintf(szTheirs, sizeof(szTheirs), bHex ? "%08Xh: " : "%08ud: ", nOffset);
        if (n != strlen(szTheirs) || memcmp(szMine, szTheirs, n) != 0)
            abort();
    }
    unsigned char abLine[16];
    unsigned int nCount = in.Byte() % 17;
    for (unsigned int i = 0; i < nCount; ++i)
        abLine[i] = in.Byte();
    for (int bHex = 0; bHex < 2; ++bHex) {
        std::string strValues;
        for (unsigned int i = 0; i < nCount; ++i) {
            char szValue[8];
            snprintf(szValue, sizeof(szValue), bHex ? "%02X " : "%02d ", abLine[i]);
            strValues += szValue;
        }
        if (strValues.size() >= 48)
            strValues += ";";
        char szBytes[80];
        size_t n = QwPutDumpBytes(szBytes, abLine, nCount, bHex);
        if (std::string(szBytes, n) != strValues)
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pInput, size_t nInput)
{
    Input in = { pInput, nInput };
    size_t nSize = 1 + in.Byte() % 200;
    if (in.Byte() & 1)
        nSize = 2048;
    std::string strFormat;
    s_strMine.clear();
    Arg args[MAX_ARGS];
    size_t nArgs = 0;
    static const char* const s_apszText[] = { "", "items ", " | ", "n=", "\t", "caf\xe9 ", "%%" };
    for (int i = 0; i < 4 && in.n > 0; ++i) {
        const char* pszText = s_apszText[in.Byte() % 7];
        strFormat += pszText;
        s_strMine += pszText;
        if (!AddConversion(in, strFormat, s_strMine, args, nArgs))
            break;
    }
    const char* pszText = s_apszText[in.Byte() % 7];
    strFormat += pszText;
    s_strMine += pszText;
    Caller<MAX_ARGS>::Call(args, nArgs, 0, nSize, strFormat.c_str());
    CompareDumpPieces(in);
    return 0;
}
