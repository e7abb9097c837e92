// The formatter's own parts, shared by its sources: the output a message grows
// in, the limits of what the platform is handed, and the layout functions one
// source gives another. Formatter.cpp reads conversions and runs a format;
// FormatText.cpp lays out padding, integers and floating numbers;
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

// FormatText.cpp: see there.
void PutPadded(Output& out, const QW_CONVERSION& conv, const char* pszPrefix, size_t nZeros, const char* pBody,
               size_t nBody, bool bZeroPad, InnerZeros inner = InnerZeros());
void PutInteger(Output& out, const QW_CONVERSION& conv, va_list* pArgs);
void PutFloatArgument(Output& out, const QW_CONVERSION& conv, va_list* pArgs);
char* DigitsOf(unsigned long long nValue, char cType, char* pEnd);
// Room for the digits of any integer: 64 binary digits, with room to spare.
const size_t INTEGER_DIGITS = 72;

// FormatPlatform.cpp: see there.
void PutText(Output& out, const QW_CONVERSION& conv, const char* psz);
void PutPiece(Output& out, const char* pszPiece, ...);
bool PlatformIntegerType(char c);
void TakeStars(QW_CONVERSION& conv, va_list* pArgs);
const char* PutQuick(Output& out, const char* pszPercent, va_list* pArgs);
const char* PutLiteral(Output& out, const char* p);
const char* PutConversion(Output& out, const char* psz, va_list* pArgs, int nErrno);

// FormatPositions.cpp: formats the rest of a format of positional conversions
// from the one at psz on; gives where formatting stops.
const char* PutPositionalFormat(Output& out, const char* psz, va_list* pArgs, int nErrno);

} // namespace qwfmt

#endif
