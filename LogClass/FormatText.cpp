// The formatter's layout of padding, integers, floating numbers, and the C
// library's text of wvsprintfA's conversions (strings, characters, pointers). The
// floating conversions take their digits from std::to_chars, which rounds
// exactly as the C library does; the flags, width and precision of printf are
// applied around them here.
#include "FormatOutput.h"
#include "Platform.h"

#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <charconv>
#include <string>

namespace qwfmt {

// ---- laying out a piece of text ---------------------------------------------

// Writes pszPrefix (sign, "0x"), nZeros zeros, then nBody bytes of pBody with
// the zeros of inner among them, padded to the conversion's width: spaces on
// the left or (with '-') the right, or with bZeroPad zeros after the prefix.
void PutPadded(Output& out, const QW_CONVERSION& conv, const char* pszPrefix, size_t nZeros, const char* pBody,
               size_t nBody, bool bZeroPad, InnerZeros inner)
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

// An integer conversion as printf lays it out, its argument read already (the
// magnitude nValue, negative with bNegative): sign, "0x" or "0b", zeros up to
// the precision, the digits, padded to the width.
void PutIntegerValue(Output& out, const QW_CONVERSION& conv, unsigned long long nValue, bool bNegative)
{
    bool bSigned = conv.cType == 'd' || conv.cType == 'i';
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

// An integer conversion as printf lays it out, its argument read as its size says.
void PutInteger(Output& out, const QW_CONVERSION& conv, va_list* pArgs)
{
    if (conv.cType != 'd' && conv.cType != 'i') {
        PutIntegerValue(out, conv, TakeUnsigned(conv, pArgs), false);
        return;
    }
    long long n = TakeSigned(conv, pArgs);
    PutIntegerValue(out, conv, n < 0 ? 0ull - (unsigned long long)n : (unsigned long long)n, n < 0);
}

// ---- wvsprintfA's conversions in the C library's text -----------------------

// Wide text (nCount characters, or up to its terminator when nCount is
// (size_t)-1) as %ls lays it out: in the platform's narrow text, at most the
// precision's count of bytes and never part of a character, padded with spaces.
void PutWide(Output& out, const QW_CONVERSION& conv, const wchar_t* pwsz, size_t nCount)
{
    char szText[2048];
    bool bCut = conv.nPrecision >= 0 && (size_t)conv.nPrecision < sizeof(szText);
    size_t nText = QwNarrowText(szText, bCut ? (size_t)conv.nPrecision : sizeof(szText), pwsz, nCount);
    PutPadded(out, conv, "", 0, szText, nText, false);
}

// A character conversion: one byte, or a wide character in narrow text, padded
// with spaces; no precision applies. A byte of 0 is left out (it would end the
// message there) but counts toward the width.
void PutCharacter(Output& out, const QW_CONVERSION& conv, int nChar)
{
    QW_CONVERSION field = conv;
    field.nPrecision = -1;
    if (WideText(conv)) {
        wchar_t wc = (wchar_t)nChar;
        PutWide(out, field, &wc, 1);
        return;
    }
    char c = (char)nChar;
    if (c == '\0' && field.nWidth > 0)
        --field.nWidth;
    PutPadded(out, field, "", 0, &c, c == '\0' ? 0 : 1, false);
}

// A string conversion: narrow or wide text as the size says; a null one is
// "(null)" where the precision leaves room for all of it, else nothing.
void PutString(Output& out, const QW_CONVERSION& conv, const void* p)
{
    if (p == NULL)
        PutText(out, conv, conv.nPrecision >= 0 && conv.nPrecision < 6 ? "" : "(null)");
    else if (WideText(conv))
        PutWide(out, conv, (const wchar_t*)p, (size_t)-1);
    else
        PutText(out, conv, (const char*)p);
}

// A pointer conversion: "0x" and its hex digits as "%#x" lays them out (the
// flags, width and precision apply), or "(nil)" padded with spaces.
void PutPointer(Output& out, const QW_CONVERSION& conv, const void* p)
{
    QW_CONVERSION field = conv;
    if (p == NULL) {
        field.nPrecision = -1;
        PutPadded(out, field, "", 0, "(nil)", 5, false);
        return;
    }
    field.cType = 'x';
    field.bAlt = true;
    PutIntegerValue(out, field, (unsigned long long)(uintptr_t)p, false);
}

// Lays out conv, a conversion of wvsprintfA's language, with its argument as
// PutPlatform passes it (an int for c and C, a pointer for s, S and p, an
// integer of the size for the rest), the way the C library lays out the same
// conversion; the sizes mean what they mean to wvsprintfA ("I64" 64 bits, "I32"
// 32, "I" a pointer's width, WideText for strings and characters) and "h"
// narrows an integer, as in C.
void PutPieceHere(Output& out, const QW_CONVERSION& conv, va_list* pArgs)
{
    switch (conv.cType) {
    case 'c': case 'C':
        PutCharacter(out, conv, va_arg(*pArgs, int));
        break;
    case 's': case 'S':
        PutString(out, conv, va_arg(*pArgs, const void*));
        break;
    case 'p':
        PutPointer(out, conv, va_arg(*pArgs, const void*));
        break;
    default:
        PutInteger(out, conv, pArgs);
        break;
    }
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

// A floating conversion's argument, as its size says.
void PutFloatArgument(Output& out, const QW_CONVERSION& conv, va_list* pArgs)
{
    if (conv.nSize == QW_SIZE_BIG_L || conv.nSize == QW_SIZE_LL)
        PutFloat(out, conv, (QW_LONG_DOUBLE)va_arg(*pArgs, QW_LONG_DOUBLE));
    else
        PutFloat(out, conv, va_arg(*pArgs, double));
}

} // namespace qwfmt
