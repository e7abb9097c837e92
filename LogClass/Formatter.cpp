// The message formatter: see Formatter.h. The floating conversions take their
// digits from std::to_chars, which rounds exactly as the C library does; the
// flags, width and precision of printf are applied around them here.
#include "Formatter.h"
#include "Platform.h"

#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <charconv>
#include <string>

namespace {

// The most a piece that the platform formats may give, its terminator included
// (the output limit of wvsprintfA).
const size_t PIECE_SIZE = 1025;
// Above this many characters a string or a width is not handed to the platform,
// which would cut it at its limit; it is laid out here instead.
const size_t PIECE_TEXT_MAX = 512;
// Digits of precision that are ever worked out: no message shows more.
const int PRECISION_MAX = 2100;

// The message as it grows: nSize bytes at pBuf, of which the text takes at most nSize - 1.
struct Output
{
    char* pBuf;
    size_t nSize;
    size_t nLen;

    // Room left for text.
    size_t Room() const { return nSize - 1 - nLen; }
    // Appends n bytes of p, as many as fit.
    void Put(const char* p, size_t n)
    {
        if (n > Room())
            n = Room();
        memcpy(pBuf + nLen, p, n);
        nLen += n;
    }
    // Appends n copies of c, as many as fit.
    void Fill(char c, size_t n)
    {
        if (n > Room())
            n = Room();
        memset(pBuf + nLen, c, n);
        nLen += n;
    }
};

// Reads a run of decimal digits at *ppsz, moving past it; INT_MAX when it overflows.
int ReadDigits(const char** ppsz)
{
    long long n = 0;
    for (; **ppsz >= '0' && **ppsz <= '9'; ++*ppsz)
        if (n <= INT_MAX)
            n = n * 10 + (**ppsz - '0');
    return n > INT_MAX ? INT_MAX : (int)n;
}

// Reads wvsprintfA's size at psz into conv; gives the character after it.
const char* ReadPlatformSize(const char* psz, QW_CONVERSION& conv)
{
    switch (*psz) {
    case 'l': conv.nSize = QW_SIZE_L; return psz + 1;
    case 'h': conv.nSize = QW_SIZE_H; return psz + 1;
    case 'w': conv.nSize = QW_SIZE_W; return psz + 1;
    case 'I':
        if (psz[1] == '6' && psz[2] == '4') {
            conv.nSize = QW_SIZE_I64;
            return psz + 3;
        }
        if (psz[1] == '3' && psz[2] == '2') {
            conv.nSize = QW_SIZE_I32;
            return psz + 3;
        }
        conv.nSize = QW_SIZE_I;
        return psz + 1;
    default:
        return psz;
    }
}

// Reads printf's size at psz into conv (the Microsoft ones too); gives the
// character after it.
const char* ReadSize(const char* psz, QW_CONVERSION& conv)
{
    switch (*psz) {
    case 'h': conv.nSize = psz[1] == 'h' ? QW_SIZE_HH : QW_SIZE_H; return psz + (psz[1] == 'h' ? 2 : 1);
    case 'l': conv.nSize = psz[1] == 'l' ? QW_SIZE_LL : QW_SIZE_L; return psz + (psz[1] == 'l' ? 2 : 1);
    case 'q': conv.nSize = QW_SIZE_LL; return psz + 1;
    case 'L': conv.nSize = QW_SIZE_BIG_L; return psz + 1;
    case 'j': conv.nSize = QW_SIZE_J; return psz + 1;
    case 'z': case 'Z': conv.nSize = QW_SIZE_Z; return psz + 1;
    case 't': conv.nSize = QW_SIZE_T; return psz + 1;
    default: return ReadPlatformSize(psz, conv);
    }
}

// Starts conv for the conversion whose '%' is at psz.
void StartConversion(const char* psz, QW_CONVERSION& conv)
{
    memset(&conv, 0, sizeof(conv));
    conv.pszText = psz;
    conv.nWidth = conv.nPrecision = -1;
}

// Ends conv at pszType, its type character (the end of the format when it is '\0').
void EndConversion(const char* pszType, QW_CONVERSION& conv)
{
    conv.cType = *pszType;
    conv.nText = (size_t)(pszType - conv.pszText) + (*pszType != '\0' ? 1 : 0);
}

// The conversion letters glibc's printf knows.
const char KNOWN_TYPES[] = "diouxXeEfFgGaAcsCSpnmbB%";

// TRUE when c is one of KNOWN_TYPES.
bool KnownType(char c)
{
    return c != '\0' && strchr(KNOWN_TYPES, c) != NULL;
}

// TRUE when the 'I' at psz is the Windows size: the type follows it at once,
// or "32" or "64" and the type.
bool WindowsSizeI(const char* psz)
{
    if (KnownType(psz[1]))
        return true;
    bool bBits = (psz[1] == '3' && psz[2] == '2') || (psz[1] == '6' && psz[2] == '4');
    return bBits && KnownType(psz[3]);
}

// Reads glibc's flags at psz into conv; gives the character after them. An 'I'
// that is the Windows size (WindowsSizeI) ends them.
const char* ReadFlags(const char* psz, QW_CONVERSION& conv)
{
    for (;; ++psz) {
        switch (*psz) {
        case '-': conv.bLeft = true; break;
        case '+': conv.bPlus = true; break;
        case ' ': conv.bSpace = true; break;
        case '#': conv.bAlt = true; break;
        case '0': conv.bZero = true; break;
        case '\'': conv.bGroup = true; break;
        case 'I':
            if (WindowsSizeI(psz))
                return psz;
            conv.bLocaleDigits = true;
            break;
        default: return psz;
        }
    }
}

// Reads a position "n$" at *ppsz into *pnPos and moves past it; nothing when
// no such position starts there. Position 0 becomes INT_MAX, one no format
// may name.
void ReadPosition(const char** ppsz, int* pnPos)
{
    const char* p = *ppsz;
    if (*p < '0' || *p > '9')
        return;
    int n = ReadDigits(&p);
    if (*p != '$')
        return;
    *pnPos = n == 0 ? INT_MAX : n;
    *ppsz = p + 1;
}

} // namespace

namespace {

// TRUE for the types wvsprintfA knows.
bool PlatformType(char c)
{
    switch (c) {
    case 'c': case 'C': case 'd': case 'i': case 'p': case 's': case 'S': case 'u': case 'x': case 'X':
        return true;
    default:
        return false;
    }
}

// TRUE for the integer types wvsprintfA knows.
bool PlatformIntegerType(char c)
{
    return c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X';
}

} // namespace

bool QwReadPlatformConversion(const char* psz, QW_CONVERSION& conv)
{
    StartConversion(psz, conv);
    const char* p = psz + 1;
    if (*p == '-')
        conv.bLeft = true, ++p;
    if (*p == '#')
        conv.bAlt = true, ++p;
    if (*p == '0')
        conv.bZero = true, ++p;
    if (*p >= '0' && *p <= '9')
        conv.nWidth = ReadDigits(&p);
    if (*p == '.') {
        ++p;
        conv.nPrecision = ReadDigits(&p);
    }
    p = ReadPlatformSize(p, conv);
    EndConversion(p, conv);
    return PlatformType(*p);
}

bool QwReadConversion(const char* psz, QW_CONVERSION& conv)
{
    StartConversion(psz, conv);
    const char* p = psz + 1;
    ReadPosition(&p, &conv.nArgPos);
    p = ReadFlags(p, conv);
    if (*p == '*') {
        conv.bStarWidth = true, ++p;
        ReadPosition(&p, &conv.nWidthPos);
    } else if (*p >= '0' && *p <= '9') {
        conv.nWidth = ReadDigits(&p);
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            conv.bStarPrecision = true, ++p;
            ReadPosition(&p, &conv.nPrecisionPos);
        } else {
            conv.nPrecision = ReadDigits(&p);
        }
    }
    p = ReadSize(p, conv);
    EndConversion(p, conv);
    return KnownType(*p);
}

namespace {

// ---- laying out a piece of text ---------------------------------------------

// Zeros a number has past the digits that were worked out (a precision above
// PRECISION_MAX): nCount of them, before byte nAt of its digits.
struct InnerZeros
{
    size_t nCount;
    size_t nAt;
};

// Writes pszPrefix (sign, "0x"), nZeros zeros, then nBody bytes of pBody with
// the zeros of inner among them, padded to the conversion's width: spaces on
// the left or (with '-') the right, or with bZeroPad zeros after the prefix.
void PutPadded(Output& out, const QW_CONVERSION& conv, const char* pszPrefix, size_t nZeros, const char* pBody,
               size_t nBody, bool bZeroPad, InnerZeros inner = InnerZeros{ 0, 0 })
{
    size_t nPrefix = strlen(pszPrefix);
    size_t nText = nPrefix + nZeros + nBody + inner.nCount;
    size_t nPad = conv.nWidth > 0 && (size_t)conv.nWidth > nText ? (size_t)conv.nWidth - nText : 0;
    if (!conv.bLeft && !bZeroPad)
        out.Fill(' ', nPad);
    out.Put(pszPrefix, nPrefix);
    if (!conv.bLeft && bZeroPad)
        out.Fill('0', nPad);
    out.Fill('0', nZeros);
    size_t nAt = inner.nAt < nBody ? inner.nAt : nBody;
    out.Put(pBody, nAt);
    out.Fill('0', inner.nCount);
    out.Put(pBody + nAt, nBody - nAt);
    if (conv.bLeft)
        out.Fill(' ', nPad);
}

// The sign a number shows: "-", "+" with '+', " " with ' ', or none.
const char* SignOf(const QW_CONVERSION& conv, bool bNegative)
{
    return bNegative ? "-" : conv.bPlus ? "+" : conv.bSpace ? " " : "";
}

// ---- integers ---------------------------------------------------------------

// The argument of a signed integer conversion, as its size says.
long long TakeSigned(const QW_CONVERSION& conv, va_list* pArgs)
{
    switch (conv.nSize) {
    case QW_SIZE_HH: return (signed char)va_arg(*pArgs, int);
    case QW_SIZE_H: return (short)va_arg(*pArgs, int);
    case QW_SIZE_L: return va_arg(*pArgs, long);
    case QW_SIZE_LL: case QW_SIZE_BIG_L: case QW_SIZE_I64: return va_arg(*pArgs, long long);
    case QW_SIZE_J: return (long long)va_arg(*pArgs, intmax_t);
    case QW_SIZE_Z: case QW_SIZE_T: case QW_SIZE_I: return (long long)va_arg(*pArgs, ptrdiff_t);
    default: return va_arg(*pArgs, int);
    }
}

// The argument of an unsigned integer conversion, as its size says.
unsigned long long TakeUnsigned(const QW_CONVERSION& conv, va_list* pArgs)
{
    switch (conv.nSize) {
    case QW_SIZE_HH: return (unsigned char)va_arg(*pArgs, unsigned int);
    case QW_SIZE_H: return (unsigned short)va_arg(*pArgs, unsigned int);
    case QW_SIZE_L: return va_arg(*pArgs, unsigned long);
    case QW_SIZE_LL: case QW_SIZE_BIG_L: case QW_SIZE_I64: return va_arg(*pArgs, unsigned long long);
    case QW_SIZE_J: return (unsigned long long)va_arg(*pArgs, uintmax_t);
    case QW_SIZE_Z: case QW_SIZE_T: case QW_SIZE_I: return (unsigned long long)va_arg(*pArgs, size_t);
    default: return va_arg(*pArgs, unsigned int);
    }
}

// The bits of a digit in the base of the integer conversion letter cType: 1
// for 'b' and 'B', 3 for 'o', 4 for 'x' and 'X'; 0 for decimal.
unsigned int DigitShift(char cType)
{
    switch (cType) {
    case 'b': case 'B': return 1;
    case 'o': return 3;
    case 'x': case 'X': return 4;
    default: return 0;
    }
}

// Writes the digits of nValue in the base of the integer conversion letter
// cType (2 for 'b' and 'B', 8 for 'o', 16 for 'x' and 'X' in their letter
// case, else 10) just before pEnd; gives where they begin. At least one digit.
char* DigitsOf(unsigned long long nValue, char cType, char* pEnd)
{
    const char* pszDigits = cType == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    unsigned int nShift = DigitShift(cType);
    char* p = pEnd;
    if (nShift == 0) {
        do {  // a constant divisor: no division instruction
            *--p = (char)('0' + nValue % 10);
            nValue /= 10;
        } while (nValue != 0);
        return p;
    }
    do {
        *--p = pszDigits[nValue & ((1u << nShift) - 1)];
        nValue >>= nShift;
    } while (nValue != 0);
    return p;
}

// Room for the digits of any integer in any base, and the '0' of "%#o".
const size_t INTEGER_DIGITS = 72;

// Writes the digits of nValue in the conversion's base at the end of szDigits
// (INTEGER_DIGITS bytes); gives where they begin. No digit for 0 with a
// precision of 0.
char* IntegerDigits(const QW_CONVERSION& conv, unsigned long long nValue, char* szDigits)
{
    if (nValue == 0 && conv.nPrecision == 0)
        return szDigits + INTEGER_DIGITS;
    return DigitsOf(nValue, conv.cType, szDigits + INTEGER_DIGITS);
}

// The "0x", "0X", "0b" or "0B" that '#' puts before a number other than 0.
const char* AltPrefix(char cType)
{
    switch (cType) {
    case 'x': return "0x";
    case 'X': return "0X";
    case 'b': return "0b";
    case 'B': return "0B";
    default: return "";
    }
}

// An integer conversion as printf lays it out: sign, "0x" or "0b", zeros up to
// the precision, the digits, padded to the width.
void PutInteger(Output& out, const QW_CONVERSION& conv, va_list* pArgs)
{
    bool bSigned = conv.cType == 'd' || conv.cType == 'i';
    bool bNegative = false;
    unsigned long long nValue;
    if (bSigned) {
        long long n = TakeSigned(conv, pArgs);
        bNegative = n < 0;
        nValue = bNegative ? 0ull - (unsigned long long)n : (unsigned long long)n;
    } else {
        nValue = TakeUnsigned(conv, pArgs);
    }
    char szDigits[INTEGER_DIGITS];
    char* pDigits = IntegerDigits(conv, nValue, szDigits);
    size_t nDigits = (size_t)(szDigits + INTEGER_DIGITS - pDigits);
    if (conv.cType == 'o' && conv.bAlt && (nDigits == 0 || *pDigits != '0') && conv.nPrecision <= (int)nDigits) {
        *--pDigits = '0';
        ++nDigits;
    }
    const char* pszPrefix = bSigned ? SignOf(conv, bNegative) : "";
    if (conv.bAlt && nValue != 0 && !bSigned)
        pszPrefix = AltPrefix(conv.cType);
    size_t nZeros = conv.nPrecision > (int)nDigits ? (size_t)conv.nPrecision - nDigits : 0;
    PutPadded(out, conv, pszPrefix, nZeros, pDigits, nDigits, conv.bZero && conv.nPrecision < 0);
}

// ---- floating point ---------------------------------------------------------

// Upper-cases the letters of p[0, n).
void UpperCase(char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] >= 'a' && p[i] <= 'z')
            p[i] = (char)(p[i] - 'a' + 'A');
}

// Inserts a '.' into the number at p (nLen characters, room after it) before
// its exponent, when it has none; gives the new length.
size_t ForcePoint(char* p, size_t nLen, char cExponent)
{
    if (memchr(p, '.', nLen) != NULL)
        return nLen;
    const char* pExp = (const char*)memchr(p, cExponent, nLen);
    size_t nAt = pExp != NULL ? (size_t)(pExp - p) : nLen;
    memmove(p + nAt + 1, p + nAt, nLen - nAt);
    p[nAt] = '.';
    return nLen + 1;
}

// The decimal exponent of value when written with nPrecision digits after the
// point in scientific form (so after rounding).
template <typename T>
int DecimalExponent(T value, int nPrecision)
{
    char sz[PRECISION_MAX + 16];
    std::to_chars_result r = std::to_chars(sz, sz + sizeof(sz) - 1, value, std::chars_format::scientific, nPrecision);
    *r.ptr = '\0';
    const char* pExp = strchr(sz, 'e');
    return pExp != NULL ? atoi(pExp + 1) : 0;
}

// The decimal exponent of value's shortest exact form (so before any rounding).
template <typename T>
int ExactExponent(T value)
{
    char sz[64];
    std::to_chars_result r = std::to_chars(sz, sz + sizeof(sz) - 1, value, std::chars_format::scientific);
    *r.ptr = '\0';
    const char* pExp = strchr(sz, 'e');
    return pExp != NULL ? atoi(pExp + 1) : 0;
}

// %g with '#': %e or %f as %g chooses, trailing zeros kept, the point always
// shown. Where rounding carries the value up to the %e side (99.6 at two
// digits), the C library writes no digit after the point: "1.e+02".
template <typename T>
size_t AltGeneral(char* p, size_t nRoom, T value, int nPrecision)
{
    int nDigits = nPrecision == 0 ? 1 : nPrecision;
    int nExp = DecimalExponent(value, nDigits - 1);
    std::to_chars_result r;
    if (nDigits > nExp && nExp >= -4)
        r = std::to_chars(p, p + nRoom - 1, value, std::chars_format::fixed, nDigits - 1 - nExp);
    else if (nExp >= nDigits && ExactExponent(value) < nDigits)
        r = std::to_chars(p, p + nRoom - 1, value, std::chars_format::scientific, 0);
    else
        r = std::to_chars(p, p + nRoom - 1, value, std::chars_format::scientific, nDigits - 1);
    return ForcePoint(p, (size_t)(r.ptr - p), 'e');
}

// The digits of a finite, non-negative value for the floating type cType with
// nPrecision (-1: the default) into p (nRoom bytes); gives their length.
template <typename T>
size_t FloatDigits(char* p, size_t nRoom, T value, char cType, int nPrecision, bool bAlt)
{
    char cLower = (char)(cType | 0x20);
    int nUsed = nPrecision < 0 ? 6 : nPrecision > PRECISION_MAX ? PRECISION_MAX : nPrecision;
    std::to_chars_result r;
    if (cLower == 'g' && bAlt)
        return AltGeneral(p, nRoom, value, nUsed);
    if (cLower == 'f')
        r = std::to_chars(p, p + nRoom - 1, value, std::chars_format::fixed, nUsed);
    else if (cLower == 'e')
        r = std::to_chars(p, p + nRoom - 1, value, std::chars_format::scientific, nUsed);
    else if (cLower == 'g')
        r = std::to_chars(p, p + nRoom - 1, value, std::chars_format::general, nUsed == 0 ? 1 : nUsed);
    else if (nPrecision < 0)
        r = std::to_chars(p, p + nRoom - 1, value, std::chars_format::hex);
    else
        r = std::to_chars(p, p + nRoom - 1, value, std::chars_format::hex, nUsed);
    size_t nLen = r.ec == std::errc() ? (size_t)(r.ptr - p) : 0;
    return bAlt ? ForcePoint(p, nLen, cLower == 'a' ? 'p' : 'e') : nLen;
}

// The zeros that a precision above PRECISION_MAX adds to the number szDigits
// (nLen characters) of conv, before its exponent: every digit past that many is
// 0 for a double, and no message shows those of a long double. %g without '#'
// drops its trailing zeros, so it gets none.
InnerZeros ZerosPastLimit(const QW_CONVERSION& conv, const char* szDigits, size_t nLen)
{
    char cLower = (char)(conv.cType | 0x20);
    if (conv.nPrecision <= PRECISION_MAX || (cLower == 'g' && !conv.bAlt))
        return InnerZeros{ 0, 0 };
    const char* pExp = NULL;
    for (size_t i = 0; i < nLen && pExp == NULL; ++i)
        if ((szDigits[i] | 0x20) == (cLower == 'a' ? 'p' : 'e'))
            pExp = szDigits + i;
    return InnerZeros{ (size_t)(conv.nPrecision - PRECISION_MAX), pExp != NULL ? (size_t)(pExp - szDigits) : nLen };
}

// A floating conversion as printf lays it out.
template <typename T>
void PutFloat(Output& out, const QW_CONVERSION& conv, T value)
{
    bool bNegative = std::signbit(value);
    bool bUpper = conv.cType >= 'A' && conv.cType <= 'Z';
    const char* pszSign = SignOf(conv, bNegative);
    if (!std::isfinite(value)) {
        const char* pszText = std::isnan(value) ? (bUpper ? "NAN" : "nan") : (bUpper ? "INF" : "inf");
        PutPadded(out, conv, pszSign, 0, pszText, 3, false);
        return;
    }
    // The integer part of the largest long double has 4,933 digits.
    char szDigits[5000 + PRECISION_MAX + 16];
    size_t nLen = FloatDigits(szDigits, sizeof(szDigits), bNegative ? -value : value, conv.cType, conv.nPrecision, conv.bAlt);
    if (bUpper)
        UpperCase(szDigits, nLen);
    std::string strPrefix = pszSign;
    if ((conv.cType | 0x20) == 'a')
        strPrefix += bUpper ? "0X" : "0x";
    PutPadded(out, conv, strPrefix.c_str(), 0, szDigits, nLen, conv.bZero, ZerosPastLimit(conv, szDigits, nLen));
}

// ---- the rest ---------------------------------------------------------------

// Text laid out as %s lays it out: at most the precision's count of bytes,
// padded with spaces to the width.
void PutText(Output& out, const QW_CONVERSION& conv, const char* psz)
{
    size_t nLen = conv.nPrecision >= 0 ? strnlen(psz, (size_t)conv.nPrecision) : strlen(psz);
    PutPadded(out, conv, "", 0, psz, nLen, false);
}

// Formats pszPiece, a conversion of wvsprintfA's language, with the one argument
// that follows it, through the platform; appends what it gives, less any zero
// byte (a %c of 0), which would end the message there.
void PutPiece(Output& out, const char* pszPiece, ...)
{
    char szPiece[PIECE_SIZE];
    va_list args;
    va_start(args, pszPiece);
    size_t nLen = QwFormatPiece(szPiece, sizeof(szPiece), pszPiece, args);
    va_end(args);
    if (memchr(szPiece, '\0', nLen) == NULL) {
        out.Put(szPiece, nLen);
        return;
    }
    for (size_t i = 0; i < nLen; ++i)
        if (szPiece[i] != '\0')
            out.Put(szPiece + i, 1);
}

// TRUE when a conversion wvsprintfA reads takes a narrow string.
bool NarrowString(const QW_CONVERSION& conv)
{
    if (conv.cType == 's')
        return conv.nSize != QW_SIZE_L && conv.nSize != QW_SIZE_W;
    return conv.cType == 'S' && (conv.nSize == QW_SIZE_H || conv.nSize == QW_SIZE_W);
}

// Wide characters the platform is given at a time: their text fits its limit.
const size_t WIDE_CHUNK = 256;

// A long wide string under a conversion with no width or precision (pszPiece),
// handed to the platform a part at a time so that no part passes its limit; a
// part never ends between the two halves of a surrogate pair.
void PutWideChunks(Output& out, const char* pszPiece, const wchar_t* pwsz)
{
    wchar_t wszChunk[WIDE_CHUNK + 1];
    while (*pwsz != L'\0' && out.Room() != 0) {
        size_t n = 0;
        while (n < WIDE_CHUNK && pwsz[n] != L'\0')
            ++n;
        if (n == WIDE_CHUNK && (unsigned)pwsz[n - 1] >= 0xD800 && (unsigned)pwsz[n - 1] <= 0xDBFF)
            --n;
        memcpy(wszChunk, pwsz, n * sizeof(wchar_t));
        wszChunk[n] = L'\0';
        PutPiece(out, pszPiece, (const wchar_t*)wszChunk);
        pwsz += n;
    }
}

// TRUE when conv takes a wide string that is better handed over in parts.
bool LongWideString(const QW_CONVERSION& conv, const void* p)
{
    if (p == NULL || NarrowString(conv) || (conv.cType != 's' && conv.cType != 'S'))
        return false;
    if (conv.nWidth >= 0 || conv.nPrecision >= 0)
        return false;
    const wchar_t* pwsz = (const wchar_t*)p;
    for (size_t i = 0; i <= WIDE_CHUNK; ++i)
        if (pwsz[i] == L'\0')
            return false;
    return true;
}

// Hands conv, written as pszPiece, to the platform with its argument, read as
// wvsprintfA reads it. A narrow string or a width beyond what the platform
// gives whole is laid out here.
void PutPlatform(Output& out, const QW_CONVERSION& conv, const char* pszPiece, va_list* pArgs)
{
    switch (conv.cType) {
    case 'c': case 'C':
        PutPiece(out, pszPiece, va_arg(*pArgs, int));
        return;
    case 's': case 'S': case 'p': {
        const void* p = va_arg(*pArgs, const void*);
        bool bLong = p != NULL && NarrowString(conv) && (conv.nWidth > (int)PIECE_TEXT_MAX || strnlen((const char*)p, PIECE_TEXT_MAX + 1) > PIECE_TEXT_MAX);
        if (bLong)
            PutText(out, conv, (const char*)p);
        else if (LongWideString(conv, p))
            PutWideChunks(out, pszPiece, (const wchar_t*)p);
        else
            PutPiece(out, pszPiece, p);
        return;
    }
    default:
        break;
    }
    if (conv.nSize == QW_SIZE_I64)
        PutPiece(out, pszPiece, va_arg(*pArgs, long long));
    else if (conv.nSize == QW_SIZE_I)
        PutPiece(out, pszPiece, va_arg(*pArgs, ptrdiff_t));
    else if (conv.nSize == QW_SIZE_L)
        PutPiece(out, pszPiece, va_arg(*pArgs, long));
    else
        PutPiece(out, pszPiece, va_arg(*pArgs, int));
}

// conv in wvsprintfA's language, from its fields: the flags '-', '#', '0' in
// that order, the width (unless bNoWidth), the precision, the size, the type.
std::string PlatformPiece(const QW_CONVERSION& conv, bool bNoWidth)
{
    static const char* const s_apszSizes[] = { "", "", "h", "l", "", "", "", "", "", "I64", "I32", "I", "w" };
    std::string strPiece = "%";
    if (conv.bLeft)
        strPiece += '-';
    if (conv.bAlt)
        strPiece += '#';
    if (conv.bZero)
        strPiece += '0';
    if (conv.nWidth >= 0 && !bNoWidth)
        strPiece += std::to_string(conv.nWidth);
    if (conv.nPrecision >= 0)
        strPiece += "." + std::to_string(conv.nPrecision);
    strPiece += s_apszSizes[conv.nSize];
    strPiece += conv.cType;
    return strPiece;
}

// The length of the sign or "0x" that zeros of the width follow in szValue.
size_t ZeroPadAfter(const QW_CONVERSION& conv, const char* szValue, size_t nLen)
{
    if (nLen > 0 && szValue[0] == '-')
        return 1;
    bool bHex = nLen > 1 && szValue[0] == '0' && (szValue[1] == 'x' || szValue[1] == 'X');
    if (bHex && (conv.bAlt || conv.cType == 'p'))
        return 2;
    return 0;
}

// TRUE when the platform pads conv (with the '0' flag, not '-'), whose text
// without a width is nLen bytes long, with zeros: it is asked for the same
// conversion one byte wider, with the argument pArgs holds (not taken).
// (The C library leaves "(nil)" and an integer with a precision to spaces;
// wvsprintfA has rules of its own.)
bool PlatformPadsWithZeros(const QW_CONVERSION& conv, size_t nLen, va_list* pArgs)
{
    if (nLen >= PIECE_TEXT_MAX)
        return true;
    QW_CONVERSION probe = conv;
    probe.nWidth = (int)nLen + 1;
    char szProbe[PIECE_SIZE];
    Output probed = { szProbe, sizeof(szProbe), 0 };
    va_list args;
    va_copy(args, *pArgs);
    PutPlatform(probed, probe, PlatformPiece(probe, false).c_str(), &args);
    va_end(args);
    return probed.nLen != 0 && szProbe[0] != ' ';
}

// TRUE when the next argument of pArgs (not taken) is a null pointer.
bool NullArgument(va_list* pArgs)
{
    va_list args;
    va_copy(args, *pArgs);
    bool bNull = va_arg(args, const void*) == NULL;
    va_end(args);
    return bNull;
}

// A number, character, pointer or null string whose width is past what the
// platform gives whole: the platform formats it without the width, the width
// is laid out here, with zeros where the platform pads with them. A %c of 0
// counts as the byte the platform writes for it, though that byte is left out.
void PutPlatformWide(Output& out, const QW_CONVERSION& conv, va_list* pArgs)
{
    QW_CONVERSION bare = conv;
    bare.bLeft = bare.bZero = false;
    bare.nWidth = -1;
    std::string strBare = PlatformPiece(bare, true);
    char szValue[PIECE_SIZE];
    Output value = { szValue, sizeof(szValue), 0 };
    va_list args;
    va_copy(args, *pArgs);
    PutPlatform(value, bare, strBare.c_str(), pArgs);
    bool bZero = conv.bZero && !conv.bLeft && conv.cType != 'c' && conv.cType != 'C'
                 && PlatformPadsWithZeros(conv, value.nLen, &args);
    va_end(args);
    size_t nPrefix = bZero ? ZeroPadAfter(conv, szValue, value.nLen) : 0;
    std::string strPrefix(szValue, nPrefix);
    QW_CONVERSION field = conv;
    if ((conv.cType == 'c' || conv.cType == 'C') && value.nLen == 0)
        --field.nWidth;  // the zero byte of a %c of 0
    PutPadded(out, field, strPrefix.c_str(), 0, szValue + nPrefix, value.nLen - nPrefix, bZero);
}

// TRUE for the common conversions whose text wvsprintfA and the C library agree
// on, byte for byte: d, i, u, x, X with no size but "l" or a Microsoft one,
// only the flags '-' and '0', no precision; a narrow s with no '#'.
bool PlainConversion(const QW_CONVERSION& conv)
{
    if (conv.bAlt || conv.nWidth > (int)PIECE_TEXT_MAX)
        return false;
    if (conv.cType == 's')
        return conv.nSize == QW_SIZE_NONE || conv.nSize == QW_SIZE_H || conv.nSize == QW_SIZE_I64
               || conv.nSize == QW_SIZE_I32 || conv.nSize == QW_SIZE_I;
    return PlatformIntegerType(conv.cType) && conv.nPrecision < 0 && conv.nSize != QW_SIZE_H && conv.nSize != QW_SIZE_W;
}

// Lays out a plain conversion (PlainConversion) here, with no call to the
// platform; a null string still goes to the platform, which has its own text
// for it.
void PutPlain(Output& out, const QW_CONVERSION& conv, const char* pszPiece, va_list* pArgs)
{
    if (conv.cType != 's') {
        PutInteger(out, conv, pArgs);
        return;
    }
    const char* psz = va_arg(*pArgs, const char*);
    if (psz != NULL)
        PutText(out, conv, psz);
    else
        PutPiece(out, pszPiece, psz);
}

// Hands a conversion that wvsprintfA reads to the platform, written as it
// stands. A '#' means nothing to a decimal number, but wvsprintfA then writes
// two stray bytes after it: it is left out.
void PutPlatformAsWritten(Output& out, const QW_CONVERSION& conv, va_list* pArgs)
{
    if (conv.nPrecision > (int)PIECE_TEXT_MAX && PlatformIntegerType(conv.cType)) {
        PutInteger(out, conv, pArgs);  // zeros past what the platform gives whole
        return;
    }
    bool bString = conv.cType == 's' || conv.cType == 'S';
    if (conv.nWidth > (int)PIECE_TEXT_MAX && (!bString || NullArgument(pArgs))) {
        PutPlatformWide(out, conv, pArgs);
        return;
    }
    if (conv.bAlt && strchr("diu", conv.cType) != NULL) {
        QW_CONVERSION plain = conv;
        plain.bAlt = false;
        PutPlatform(out, plain, PlatformPiece(plain, false).c_str(), pArgs);
        return;
    }
    char szPiece[64];
    if (conv.nText < sizeof(szPiece)) {
        memcpy(szPiece, conv.pszText, conv.nText);
        szPiece[conv.nText] = '\0';
        if (PlainConversion(conv))
            PutPlain(out, conv, szPiece, pArgs);
        else
            PutPlatform(out, conv, szPiece, pArgs);
    } else {
        PutPlatform(out, conv, std::string(conv.pszText, conv.nText).c_str(), pArgs);
    }
}

// A string, character or pointer conversion that wvsprintfA does not read as
// written ('*', flags it lacks): written again in its language, with the same
// meaning, and handed to the platform.
void PutPlatformRewritten(Output& out, const QW_CONVERSION& conv, va_list* pArgs)
{
    QW_CONVERSION same = conv;
    same.bAlt = false;
    same.bZero = conv.bZero && !conv.bLeft && conv.cType == 'p';
    if (conv.cType == 'c' || conv.cType == 'C')
        same.nPrecision = -1;
    std::string strPiece = PlatformPiece(same, false);
    QW_CONVERSION again;
    QwReadPlatformConversion(strPiece.c_str(), again);
    PutPlatformAsWritten(out, again, pArgs);
}

// Takes the '*' width and precision of conv from the arguments.
void TakeStars(QW_CONVERSION& conv, va_list* pArgs)
{
    if (conv.bStarWidth) {
        int n = va_arg(*pArgs, int);
        if (n < 0) {
            conv.bLeft = true;
            n = n == INT_MIN ? INT_MAX : -n;
        }
        conv.nWidth = n;
    }
    if (conv.bStarPrecision) {
        int n = va_arg(*pArgs, int);
        conv.nPrecision = n < 0 ? -1 : n;
    }
}

// A floating conversion's argument, as its size says.
void PutFloatArgument(Output& out, const QW_CONVERSION& conv, va_list* pArgs)
{
    if (conv.nSize == QW_SIZE_BIG_L || conv.nSize == QW_SIZE_LL)
        PutFloat(out, conv, (QW_LONG_DOUBLE)va_arg(*pArgs, QW_LONG_DOUBLE));
    else
        PutFloat(out, conv, va_arg(*pArgs, double));
}

// A conversion of printf that wvsprintfA does not read: laid out here, or, for
// strings, characters and pointers, by the platform in wvsprintfA's terms.
void PutOwn(Output& out, QW_CONVERSION& conv, va_list* pArgs, int nErrno)
{
    TakeStars(conv, pArgs);
    switch (conv.cType) {
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': case 'b': case 'B':
        PutInteger(out, conv, pArgs);
        break;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        PutFloatArgument(out, conv, pArgs);
        break;
    case 'n':
        (void)va_arg(*pArgs, void*);  // a format must never write memory
        break;
    case 'm':
        PutText(out, conv, strerror(nErrno));
        break;
    case '%':
        out.Put("%", 1);
        break;
    default:  // c, C, s, S, p
        PutPlatformRewritten(out, conv, pArgs);
        break;
    }
}

// Appends the digits of nValue in the base of the conversion letter cType
// (DigitsOf), after a '-' when bNegative.
void PutDigits(Output& out, unsigned long long nValue, bool bNegative, char cType)
{
    char szDigits[INTEGER_DIGITS];
    char* p = DigitsOf(nValue, cType, szDigits + sizeof(szDigits));
    if (bNegative)
        *--p = '-';
    out.Put(p, (size_t)(szDigits + sizeof(szDigits) - p));
}

// The conversions most messages are made of, laid out without reading them
// into a QW_CONVERSION: "%d", "%i", "%u", "%x", "%X" (also with the size "l")
// and "%s", with no flag, width or precision. Their text is PutPlain's, which
// wvsprintfA and the C library agree on; a null string goes to the platform,
// as there. Gives the character after the conversion, or NULL for any other
// conversion (nothing read, nothing written).
const char* PutQuick(Output& out, const char* pszPercent, va_list* pArgs)
{
    const bool bLong = pszPercent[1] == 'l';
    const char* pType = pszPercent + (bLong ? 2 : 1);
    switch (*pType) {
    case 'd': case 'i': {
        long long n = bLong ? va_arg(*pArgs, long) : va_arg(*pArgs, int);
        PutDigits(out, n < 0 ? 0ull - (unsigned long long)n : (unsigned long long)n, n < 0, *pType);
        break;
    }
    case 'u': case 'x': case 'X': {
        unsigned long long n = bLong ? va_arg(*pArgs, unsigned long) : va_arg(*pArgs, unsigned int);
        PutDigits(out, n, false, *pType);
        break;
    }
    case 's': {
        if (bLong)
            return NULL;  // a wide string
        const char* psz = va_arg(*pArgs, const char*);
        if (psz != NULL)
            out.Put(psz, strlen(psz));
        else
            PutPiece(out, "%s", psz);
        break;
    }
    default:
        return NULL;
    }
    return pType + 1;
}

// Copies the format's text at p up to its next '%' or its end, as much as the
// output takes; gives where it stopped.
const char* PutLiteral(Output& out, const char* p)
{
    char* pOut = out.pBuf + out.nLen;
    char* const pFull = out.pBuf + out.nSize - 1;
    while (*p != '\0' && *p != '%' && pOut != pFull)
        *pOut++ = *p++;
    out.nLen = (size_t)(pOut - out.pBuf);
    return p;
}

// Formats the conversion whose '%' is at psz, its arguments read from pArgs;
// gives the character after it, or NULL, reading nothing, for a conversion no
// printf knows.
const char* PutConversion(Output& out, const char* psz, va_list* pArgs, int nErrno)
{
    QW_CONVERSION conv;
    if (QwReadPlatformConversion(psz, conv))
        PutPlatformAsWritten(out, conv, pArgs);
    else if (QwReadConversion(psz, conv))
        PutOwn(out, conv, pArgs, nErrno);
    else
        return NULL;
    return conv.pszText + conv.nText;
}

// ---- positional arguments ---------------------------------------------------

// The type an argument is read as.
enum ArgKind { ARG_NONE, ARG_INT, ARG_LONG, ARG_LLONG, ARG_INTMAX, ARG_PTRDIFF, ARG_DOUBLE, ARG_LDOUBLE, ARG_POINTER };

// One argument, read as its kind says.
struct Arg
{
    int nKind;
    union {
        int n;
        long l;
        long long ll;
        intmax_t j;
        ptrdiff_t t;
        double d;
        QW_LONG_DOUBLE ld;
        const void* p;
    } value;
};

// The kind an integer of size nSize is read as.
ArgKind IntegerKind(int nSize)
{
    switch (nSize) {
    case QW_SIZE_L: return ARG_LONG;
    case QW_SIZE_LL: case QW_SIZE_BIG_L: case QW_SIZE_I64: return ARG_LLONG;
    case QW_SIZE_J: return ARG_INTMAX;
    case QW_SIZE_Z: case QW_SIZE_T: case QW_SIZE_I: return ARG_PTRDIFF;
    default: return ARG_INT;
    }
}

// The kind of the argument that PutConversion reads for the plain conversion
// at pszPiece, after its '*' width and precision: what PutPlatformAsWritten
// or PutOwn take.
ArgKind PieceKind(const char* pszPiece)
{
    QW_CONVERSION conv;
    bool bPlatform = QwReadPlatformConversion(pszPiece, conv);
    if (!bPlatform && !QwReadConversion(pszPiece, conv))
        return ARG_NONE;
    switch (conv.cType) {
    case 'c': case 'C': return ARG_INT;
    case 's': case 'S': case 'p': case 'n': return ARG_POINTER;
    case 'm': case '%': return ARG_NONE;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        return conv.nSize == QW_SIZE_BIG_L || conv.nSize == QW_SIZE_LL ? ARG_LDOUBLE : ARG_DOUBLE;
    default:
        if (bPlatform && conv.nSize != QW_SIZE_I64 && conv.nSize != QW_SIZE_I && conv.nSize != QW_SIZE_L)
            return ARG_INT;
        return IntegerKind(conv.nSize);
    }
}

// The conversion conv written without its positions ("%2$-*1$d" as "%-*d").
std::string PlainPiece(const QW_CONVERSION& conv)
{
    std::string strPiece = "%";
    const char* p = conv.pszText + 1;
    const char* pEnd = conv.pszText + conv.nText;
    if (conv.nArgPos != 0)
        p = (const char*)memchr(p, '$', (size_t)(pEnd - p)) + 1;
    while (p < pEnd) {
        strPiece += *p;
        if (*p++ != '*' || *p < '0' || *p > '9')
            continue;
        while (*p >= '0' && *p <= '9')
            ++p;
        ++p;  // the '$' that ReadPosition found
    }
    return strPiece;
}

// The arguments of a format of positional conversions: their kinds by
// position, as read from the format, then their values.
struct Positions
{
    Arg aArgs[QW_POSITIONS_MAX + 1];  // [0] unused
    int nCount;
    const char* pszStop;  // a conversion no printf knows, where formatting ends; NULL: none

    // Notes that position nPos is read as nKind; FALSE when no format may name
    // it or it is read as another kind already.
    bool Note(int nPos, int nKind)
    {
        if (nPos < 1 || nPos > QW_POSITIONS_MAX)
            return false;
        if (aArgs[nPos].nKind != ARG_NONE && aArgs[nPos].nKind != nKind)
            return false;
        aArgs[nPos].nKind = nKind;
        nCount = nPos > nCount ? nPos : nCount;
        return true;
    }

    // Notes the positions conv reads; FALSE when it reads one with no position.
    bool NoteConversion(const QW_CONVERSION& conv)
    {
        if ((conv.bStarWidth && !Note(conv.nWidthPos, ARG_INT)) || (conv.bStarPrecision && !Note(conv.nPrecisionPos, ARG_INT)))
            return false;
        int nKind = PieceKind(PlainPiece(conv).c_str());
        if (nKind == ARG_NONE)  // "%m", "%5%": nothing read, a position of its own or none
            return conv.nArgPos == 0 || (conv.nArgPos >= 1 && conv.nArgPos <= QW_POSITIONS_MAX);
        return Note(conv.nArgPos, nKind);
    }

    // Reads the kinds of the format's conversions from psz on, up to the first
    // that no printf knows; FALSE when the format is refused.
    bool Scan(const char* psz)
    {
        memset(aArgs, 0, sizeof(aArgs));
        nCount = 0;
        pszStop = NULL;
        for (const char* p = strchr(psz, '%'); p != NULL; p = strchr(p, '%')) {
            if (p[1] == '%') {
                p += 2;
                continue;
            }
            QW_CONVERSION conv;
            if (!QwReadConversion(p, conv)) {
                pszStop = p;
                break;
            }
            if (!NoteConversion(conv))
                return false;
            p += conv.nText;
        }
        for (int i = 1; i <= nCount; ++i)
            if (aArgs[i].nKind == ARG_NONE)
                return false;
        return true;
    }

    // Reads the values, in order of position.
    void Take(va_list* pArgs)
    {
        for (int i = 1; i <= nCount; ++i) {
            Arg& arg = aArgs[i];
            switch (arg.nKind) {
            case ARG_LONG: arg.value.l = va_arg(*pArgs, long); break;
            case ARG_LLONG: arg.value.ll = va_arg(*pArgs, long long); break;
            case ARG_INTMAX: arg.value.j = va_arg(*pArgs, intmax_t); break;
            case ARG_PTRDIFF: arg.value.t = va_arg(*pArgs, ptrdiff_t); break;
            case ARG_DOUBLE: arg.value.d = va_arg(*pArgs, double); break;
            case ARG_LDOUBLE: arg.value.ld = va_arg(*pArgs, QW_LONG_DOUBLE); break;
            case ARG_POINTER: arg.value.p = va_arg(*pArgs, const void*); break;
            default: arg.value.n = va_arg(*pArgs, int); break;
            }
        }
    }
};

// Formats the plain conversion pszPiece with the arguments that follow.
void PutPieceWith(Output& out, int nErrno, const char* pszPiece, ...)
{
    va_list args;
    va_start(args, pszPiece);
    PutConversion(out, pszPiece, &args, nErrno);
    va_end(args);
}

// Formats pszPiece with its '*' values (nStars of anStars) and value.
template <typename T>
void PutPieceWithStars(Output& out, int nErrno, const char* pszPiece, const int* anStars, int nStars, T value)
{
    if (nStars == 0)
        PutPieceWith(out, nErrno, pszPiece, value);
    else if (nStars == 1)
        PutPieceWith(out, nErrno, pszPiece, anStars[0], value);
    else
        PutPieceWith(out, nErrno, pszPiece, anStars[0], anStars[1], value);
}

// Formats the positional conversion conv with the arguments of positions.
void PutPositional(Output& out, const QW_CONVERSION& conv, const Positions& positions, int nErrno)
{
    std::string strPiece = PlainPiece(conv);
    int anStars[2];
    int nStars = 0;
    if (conv.bStarWidth)
        anStars[nStars++] = positions.aArgs[conv.nWidthPos].value.n;
    if (conv.bStarPrecision)
        anStars[nStars++] = positions.aArgs[conv.nPrecisionPos].value.n;
    Arg arg = {};
    if (conv.nArgPos >= 1 && conv.nArgPos <= QW_POSITIONS_MAX)
        arg = positions.aArgs[conv.nArgPos];
    const char* pszPiece = strPiece.c_str();
    switch (PieceKind(pszPiece)) {
    case ARG_LONG: PutPieceWithStars(out, nErrno, pszPiece, anStars, nStars, arg.value.l); break;
    case ARG_LLONG: PutPieceWithStars(out, nErrno, pszPiece, anStars, nStars, arg.value.ll); break;
    case ARG_INTMAX: PutPieceWithStars(out, nErrno, pszPiece, anStars, nStars, arg.value.j); break;
    case ARG_PTRDIFF: PutPieceWithStars(out, nErrno, pszPiece, anStars, nStars, arg.value.t); break;
    case ARG_DOUBLE: PutPieceWithStars(out, nErrno, pszPiece, anStars, nStars, arg.value.d); break;
    case ARG_LDOUBLE: PutPieceWithStars(out, nErrno, pszPiece, anStars, nStars, arg.value.ld); break;
    case ARG_POINTER: PutPieceWithStars(out, nErrno, pszPiece, anStars, nStars, arg.value.p); break;
    default: PutPieceWithStars(out, nErrno, pszPiece, anStars, nStars, arg.value.n); break;
    }
}

// Formats the rest of a format of positional conversions, whose first
// conversion is at psz: all of its arguments are read first, in order of
// position. Gives where the formatting stopped: the end of the format, or a
// conversion that no printf knows, or psz when the format is refused (nothing
// read).
const char* PutPositionalFormat(Output& out, const char* psz, va_list* pArgs, int nErrno)
{
    Positions positions;
    if (!positions.Scan(psz))
        return psz;
    positions.Take(pArgs);
    const char* p = psz;
    while (*p != '\0' && p != positions.pszStop && out.Room() != 0) {
        p = PutLiteral(out, p);
        if (*p != '%' || p == positions.pszStop)
            break;
        if (p[1] == '%') {
            out.Put("%", 1);
            p += 2;
            continue;
        }
        QW_CONVERSION conv;
        QwReadConversion(p, conv);
        PutPositional(out, conv, positions, nErrno);
        p += conv.nText;
    }
    return p;
}

// TRUE when conv names a position ("n$", "*m$").
bool Positional(const QW_CONVERSION& conv)
{
    return conv.nArgPos != 0 || conv.nWidthPos != 0 || conv.nPrecisionPos != 0;
}

// TRUE when conv reads an argument ("%m" and "%%" read none but a '*').
bool ReadsArgument(const QW_CONVERSION& conv)
{
    return (conv.cType != 'm' && conv.cType != '%') || conv.bStarWidth || conv.bStarPrecision;
}

// Formats the conversion at psz in a format read in order, after *pnRead
// others that read arguments (counted on); a positional one formats the rest
// of the format (PutPositionalFormat). Gives where to go on; or, with *pbStop
// set, where formatting stops: at a conversion no printf knows or one refused
// (a positional one after others that read arguments), nothing read for it.
const char* PutNext(Output& out, const char* psz, va_list* pArgs, int nErrno, int* pnRead, bool* pbStop)
{
    QW_CONVERSION conv;
    bool bPlatform = QwReadPlatformConversion(psz, conv);
    bool bKnown = bPlatform || QwReadConversion(psz, conv);
    if (!bPlatform && bKnown && Positional(conv)) {
        const char* pStop = *pnRead != 0 ? psz : PutPositionalFormat(out, psz, pArgs, nErrno);
        *pbStop = *pStop != '\0';
        return pStop;
    }
    const char* pNext = PutConversion(out, psz, pArgs, nErrno);
    *pbStop = pNext == NULL;
    if (pNext == NULL)
        return psz;
    *pnRead += ReadsArgument(conv) ? 1 : 0;
    return pNext;
}

} // namespace

size_t QwFormatV(char* pszBuf, size_t nBufSize, const char* pszFormat, va_list args)
{
    if (pszBuf == NULL || nBufSize == 0)
        return 0;
    pszBuf[0] = '\0';
    if (pszFormat == NULL)
        return 0;
    int nErrno = errno;
    Output out = { pszBuf, nBufSize, 0 };
    va_list argsWork;  // a copy, so that its address can be handed on
    va_copy(argsWork, args);
    const char* p = pszFormat;
    int nRead = 0;
    while (*p != '\0' && out.Room() != 0) {
        p = PutLiteral(out, p);
        if (*p != '%' || out.Room() == 0)
            break;
        if (p[1] == '%') {
            out.Put("%", 1);
            p += 2;
            continue;
        }
        bool bStop = false;
        const char* pNext = PutQuick(out, p, &argsWork);
        if (pNext != NULL)
            ++nRead;
        else
            pNext = PutNext(out, p, &argsWork, nErrno, &nRead, &bStop);
        if (bStop) {
            out.Put(pNext, strlen(pNext));  // refused: the rest as it stands, no argument read
            break;
        }
        p = pNext;
    }
    va_end(argsWork);
    pszBuf[out.nLen] = '\0';
    return out.nLen;
}
