// The message formatter. It reads a format once, conversion by conversion: a
// conversion that wvsprintfA reads (read exactly as it reads it) goes to the
// platform, which formats it with wvsprintfA on Windows and with the C library
// elsewhere; every other conversion of C99 printf is formatted here, the same
// way on every platform; anything else is written as it stands.
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

// One conversion of a message format, as read: "%" flags width .precision size type.
struct QW_CONVERSION
{
    const char* pszText;  // its '%'
    size_t nText;         // its characters as written
    bool bLeft, bPlus, bSpace, bAlt, bZero;  // the flags '-', '+', ' ', '#', '0'
    bool bStarWidth, bStarPrecision;         // '*' stands for the width, the precision
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

// Reads the conversion whose '%' is at psz as C99 printf does, with the
// Microsoft sizes besides ("I64", "I32", "I", "w"): flags in any order and
// number, '*' or digits for width and precision. Always fills conv, nText
// covering the type character (or the rest of the format when it ends first);
// TRUE when the type is one printf knows.
bool QwReadConversion(const char* psz, QW_CONVERSION& conv);

// Formats the message of pszFormat and args into pszBuf (nBufSize bytes),
// always terminated, never past the buffer: at most nBufSize - 1 bytes of text.
// %n reads its argument and writes nothing, anywhere. Gives the length of the
// text, which holds no zero byte (a %c of 0 adds nothing).
size_t QwFormatV(char* pszBuf, size_t nBufSize, const char* pszFormat, va_list args);

#endif
