// The message formatter. It reads a format once, conversion by conversion: a
// conversion that wvsprintfA reads (read exactly as it reads it) is formatted
// by wvsprintfA on Windows where the two texts may differ, and here, in the C
// library's text, elsewhere; every other conversion glibc's printf knows is
// formatted here, the same way on every platform. A conversion no printf knows, or a format it
// refuses, ends the formatting: the rest of the format is written as it stands
// and no further argument is read.
#ifndef QUILLWORK_FORMATTER_H
#define QUILLWORK_FORMATTER_H

#include <stdarg.h>
#include <stddef.h>

// The size letters a conversion may carry.
enum QW_SIZE
{
    QW_SIZE_NONE, QW_SIZE_HH, QW_SIZE_H, QW_SIZE_L, QW_SIZE_LL, QW_SIZE_BIG_L, QW_SIZE_J, QW_SIZE_Z, QW_SIZE_T,
    QW_SIZE_I64, QW_SIZE_I32, QW_SIZE_I, QW_SIZE_W
};

// The most arguments a format of positional conversions may name.
const int QW_POSITIONS_MAX = 128;

// One conversion of a message format, as read: "%" flags width .precision size type.
struct QW_CONVERSION
{
    const char* pszText;  // its '%'
    size_t nText;         // its characters as written
    bool bLeft, bPlus, bSpace, bAlt, bZero;  // the flags '-', '+', ' ', '#', '0'
    bool bGroup, bLocaleDigits;              // the flags '\'' and 'I' (nothing to do in the C locale)
    bool bStarWidth, bStarPrecision;         // '*' stands for the width, the precision
    int nArgPos;        // "n$": the argument's position (0: none; INT_MAX: one no format may name)
    int nWidthPos;      // "*m$": the width's position (0: none, or a plain '*')
    int nPrecisionPos;  // ".*m$": the precision's position (0: none, or a plain '*')
    int nWidth;      // -1: none (or '*')
    int nPrecision;  // -1: none (or '*')
    int nSize;       // a QW_SIZE
    char cType;      // '\0' when the format ends first
};

// Reads the conversion whose '%' is at psz exactly as wvsprintfA reads it: the
// flags '-', '#' and '0', each at most once and in that order, width and
// precision digits, one size ("l", "h", "w", "I64", "I32" or "I"), a type.
// TRUE when wvsprintfA knows the type (one of "cCdipsSuxX"), which is when it
// reads an argument for it; conv is then filled.
bool QwReadPlatformConversion(const char* psz, QW_CONVERSION& conv);

// Reads the conversion whose '%' is at psz as glibc's printf does, with the
// Microsoft sizes besides ("I64", "I32", "I", "w"): a position "n$", flags in
// any order and number, '*', "*m$" or digits for width and precision. An 'I'
// among the flags is the Windows size when the type follows it at once, or
// "32" or "64" and the type ("%Id", "%-I64x"); any other 'I' there is glibc's
// flag ("%I16u"). Always fills conv, nText covering the type character (or the
// rest of the format when it ends first); TRUE when the type is one printf
// knows ("diouxXeEfFgGaAcsCSpnmbB%").
bool QwReadConversion(const char* psz, QW_CONVERSION& conv);

// Formats the message of pszFormat and args into pszBuf (nBufSize bytes),
// always terminated, never past the buffer: at most nBufSize - 1 bytes of text.
// %n reads its argument and writes nothing, anywhere. A format of positional
// conversions ("%2$s %1$d", "*m$") has all of its arguments read first, once
// each, in order of position; one that mixes them with plain conversions,
// leaves a position out, reads one position as two types or names one above
// QW_POSITIONS_MAX is refused from its first conversion on. Gives the length
// of the text, which holds no zero byte (a %c of 0 adds nothing).
size_t QwFormatV(char* pszBuf, size_t nBufSize, const char* pszFormat, va_list args);

#endif
