// The formatter's conversions of wvsprintfA's language: laid out here where
// wvsprintfA and the C library agree, else handed to the platform, which gives
// wvsprintfA's text on Windows (QwFormatPiece) and leaves the C library's text
// to PutPieceHere elsewhere.
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

// ---- the rest ---------------------------------------------------------------

// Text laid out as %s lays it out: at most the precision's count of bytes,
// padded with spaces to the width.
void PutText(Output& out, const QW_CONVERSION& conv, const char* psz)
{
    size_t nLen = conv.nPrecision >= 0 ? strnlen(psz, (size_t)conv.nPrecision) : strlen(psz);
    PutPadded(out, conv, "", 0, psz, nLen, false);
}

// Formats pszPiece, a conversion of wvsprintfA's language, with the one argument
// that follows it: the platform's own text where it has one, else laid out
// here as the C library lays it out (PutPieceHere); in either case no more than
// the platform's limit of a piece. Appends what it gives, less any zero byte
// (a %c of 0), which would end the message there.
void PutPiece(Output& out, const char* pszPiece, ...)
{
    char szPiece[PIECE_SIZE];
    size_t nLen = 0;
    va_list args, argsPlatform;
    va_start(args, pszPiece);
    va_copy(argsPlatform, args);
    BOOL bPlatform = QwFormatPiece(szPiece, sizeof(szPiece), pszPiece, argsPlatform, &nLen);
    va_end(argsPlatform);
    QW_CONVERSION conv;
    if (!bPlatform && QwReadPlatformConversion(pszPiece, conv)) {
        Output piece = { szPiece, sizeof(szPiece), 0 };
        PutPieceHere(piece, conv, &args);
        nLen = piece.nLen;
    }
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
    return (conv.cType == 's' || conv.cType == 'S') && !WideText(conv);
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
// only the flags '-' and '0', no precision; a narrow s with no '#'; a narrow
// character ("c" with no size or "h", "I64", "I32", "I"; "hC"), whatever its
// flags and precision.
bool PlainConversion(const QW_CONVERSION& conv)
{
    if (conv.nWidth > (int)PIECE_TEXT_MAX)
        return false;
    if (conv.cType == 'c')
        return conv.nSize != QW_SIZE_L && conv.nSize != QW_SIZE_W;
    if (conv.cType == 'C')
        return conv.nSize == QW_SIZE_H;
    if (conv.bAlt)
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
    if (conv.cType == 'c' || conv.cType == 'C') {
        PutCharacter(out, conv, va_arg(*pArgs, int));
        return;
    }
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

} // namespace qwfmt
