// The formatter's own parts, shared by its sources: the output a message grows
// in, the limits of what the platform is handed, and the layout functions one
// source gives another. Formatter.cpp reads conversions and runs a format;
// FormatText.cpp lays out padding, integers, floating numbers, and the C
// library's text of wvsprintfA's conversions;
// FormatPlatform.cpp hands wvsprintfA's conversions to the platform;
// FormatPositions.cpp formats positional conversions ("%2$s").
#ifndef QUILLWORK_FORMATOUTPUT_H
#define QUILLWORK_FORMATOUTPUT_H

#include "Formatter.h"

#include <string.h>

namespace qwfmt {

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

// Zeros a number has past the digits that were worked out (a precision above
// PRECISION_MAX): nCount of them, before byte nAt of its digits.
struct InnerZeros
{
    size_t nCount;
    size_t nAt;
};

// The bits of a digit in the base of the integer conversion letter cType: 1
// for 'b' and 'B', 3 for 'o', 4 for 'x' and 'X'; 0 for decimal.
inline unsigned int DigitShift(char cType)
{
    switch (cType) {
    case 'b': case 'B': return 1;
    case 'o': return 3;
    case 'x': case 'X': return 4;
    default: return 0;
    }
}

// TRUE when a string or character conversion takes wide text, as wvsprintfA
// reads its sizes: "l" or "w" on s and c; any size but "h" and "w" on S and C.
inline bool WideText(const QW_CONVERSION& conv)
{
    if (conv.cType == 's' || conv.cType == 'c')
        return conv.nSize == QW_SIZE_L || conv.nSize == QW_SIZE_W;
    if (conv.cType == 'S' || conv.cType == 'C')
        return conv.nSize != QW_SIZE_H && conv.nSize != QW_SIZE_W;
    return false;
}

// Writes the digits of nValue in the base of the integer conversion letter
// cType (2 for 'b' and 'B', 8 for 'o', 16 for 'x' and 'X' in their letter
// case, else 10) just before pEnd; gives where they begin. At least one digit.
inline char* DigitsOf(unsigned long long nValue, char cType, char* pEnd)
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

// Copies the format's text at p up to its next '%' or its end, as much as the
// output takes; gives where it stopped.
inline const char* PutLiteral(Output& out, const char* p)
{
    char* pOut = out.pBuf + out.nLen;
    char* const pFull = out.pBuf + out.nSize - 1;
    while (*p != '\0' && *p != '%' && pOut != pFull)
        *pOut++ = *p++;
    out.nLen = (size_t)(pOut - out.pBuf);
    return p;
}

// FormatText.cpp: see there.
void PutPadded(Output& out, const QW_CONVERSION& conv, const char* pszPrefix, size_t nZeros, const char* pBody,
               size_t nBody, bool bZeroPad, InnerZeros inner = InnerZeros());
void PutInteger(Output& out, const QW_CONVERSION& conv, va_list* pArgs);
void PutFloatArgument(Output& out, const QW_CONVERSION& conv, va_list* pArgs);
void PutCharacter(Output& out, const QW_CONVERSION& conv, int nChar);
void PutPieceHere(Output& out, const QW_CONVERSION& conv, va_list* pArgs);
// Room for the digits of any integer: 64 binary digits, with room to spare.
const size_t INTEGER_DIGITS = 72;

// FormatPlatform.cpp: see there.
void PutText(Output& out, const QW_CONVERSION& conv, const char* psz);
void PutPiece(Output& out, const char* pszPiece, ...);
bool PlatformIntegerType(char c);
void TakeStars(QW_CONVERSION& conv, va_list* pArgs);
const char* PutConversion(Output& out, const char* psz, va_list* pArgs, int nErrno);

// FormatPositions.cpp: formats the rest of a format of positional conversions
// from the one at psz on; gives where formatting stops.
const char* PutPositionalFormat(Output& out, const char* psz, va_list* pArgs, int nErrno);

} // namespace qwfmt

#endif
