// QwFormatPiece for POSIX: the C library's text of a conversion of wvsprintfA's
// language. It gives what vsnprintf gives for the same argument, byte for byte,
// but formats the common conversions (%d, %i, %u, %x, %X with '-', '0' and a
// width; %s and %c) by hand, and hands each other conversion on its own to
// snprintf. The Microsoft sizes are read as Windows reads them: "I64" 64 bits,
// "I32" 32, "I" a pointer's width; "h" makes %S and %C narrow, "w" makes %s and
// %c wide. A wide character that the locale cannot encode (%ls, %lc) is written
// as '?' where vsnprintf would give up on the whole text.
#include "../LogClass/Platform.h"

#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

// The length letters of a conversion.
enum LengthKind { LEN_NONE, LEN_HH, LEN_H, LEN_L, LEN_LL, LEN_LONG_DOUBLE, LEN_J, LEN_Z, LEN_T, LEN_W };

// One conversion as parsed from the format: "%" flags width .precision length type.
struct Conversion
{
    char szFlags[8];
    bool bLeft;       // '-' among the flags
    bool bZero;       // '0' among the flags
    bool bOtherFlags; // '+', ' ' or '#' among them
    int nWidth;       // -1: none
    int nPrecision;   // -1: none
    int nLength;      // a LengthKind
    char szLength[3]; // its letters as written: "", "hh", "h", "l", "ll", "L", "q", "j", "z", "Z", "t"
    char cType;
};

// The output: a buffer of nSize bytes, of which the text takes at most nSize - 1.
struct Output
{
    char* pBuf;
    size_t nSize;
    size_t nLen;
    // Appends n bytes of p, as many as fit.
    void Put(const char* p, size_t n)
    {
        size_t nRoom = nSize - 1 - nLen;
        if (n > nRoom)
            n = nRoom;
        if (n <= 16) {
            for (size_t i = 0; i < n; ++i)  // most pieces are short: no call
                pBuf[nLen + i] = p[i];
        } else {
            memcpy(pBuf + nLen, p, n);
        }
        nLen += n;
    }
    // Appends n copies of c, as many as fit.
    void Fill(char c, size_t n)
    {
        size_t nRoom = nSize - 1 - nLen;
        if (n > nRoom)
            n = nRoom;
        memset(pBuf + nLen, c, n);
        nLen += n;
    }
};

// TRUE when the conversion has no flag but '-' (and, with bZero, '0').
bool OnlyPadFlags(const Conversion& conv, bool bZero) { return !conv.bOtherFlags && (bZero || !conv.bZero); }

// Notes flag c (one of "-+ #0") in conv, once.
void AddFlag(Conversion& conv, size_t& nFlags, char c)
{
    bool& bSeen = c == '-' ? conv.bLeft : c == '0' ? conv.bZero : conv.bOtherFlags;
    if (c == '-' || c == '0' ? bSeen : strchr(conv.szFlags, c) != NULL)
        return;
    bSeen = true;
    if (nFlags + 1 < sizeof(conv.szFlags))
        conv.szFlags[nFlags++] = c;
}

// TRUE for the conversion letters wvsprintfA knows.
bool KnownType(char c)
{
    switch (c) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'c': case 's': case 'C': case 'S': case 'p':
        return true;
    default:
        return false;
    }
}

// Reads a size that starts with 'I' at psz ("I64", "I32", or "I" alone) into
// conv as its C equivalent; gives the character after it.
const char* ParseMicrosoftSize(const char* psz, Conversion& conv)
{
    if (psz[1] == '6' && psz[2] == '4') {
        conv.nLength = LEN_LL;
        memcpy(conv.szLength, "ll", 2);
        return psz + 3;
    }
    if (psz[1] == '3' && psz[2] == '2')
        return psz + 3;
    conv.nLength = LEN_Z;
    conv.szLength[0] = 'z';
    return psz + 1;
}

// Gives a conversion with a Microsoft string or character size its C meaning:
// "h" makes %S and %C narrow; "w" makes %s and %c wide, %S and %C narrow, and
// means nothing for a number.
void NormalizeMicrosoft(Conversion& conv)
{
    bool bWideType = conv.cType == 'S' || conv.cType == 'C';
    bool bNarrowType = conv.cType == 's' || conv.cType == 'c';
    int nLength = conv.nLength;
    if (bWideType && (nLength == LEN_H || nLength == LEN_W)) {
        conv.cType = conv.cType == 'S' ? 's' : 'c';
        nLength = LEN_NONE;
    } else if (bNarrowType && (nLength == LEN_H || nLength == LEN_W)) {
        nLength = nLength == LEN_W ? LEN_L : LEN_NONE;
    } else if (nLength == LEN_W) {
        nLength = LEN_NONE;
    }
    if (nLength != conv.nLength) {
        conv.nLength = nLength;
        conv.szLength[0] = nLength == LEN_L ? 'l' : '\0';
        conv.szLength[1] = '\0';
    }
}

// Reads the length letters at psz into conv; gives the character after them.
const char* ParseLength(const char* psz, Conversion& conv)
{
    int nKind = LEN_NONE;
    size_t nLen = 1;
    switch (psz[0]) {
    case 'h': nKind = psz[1] == 'h' ? LEN_HH : LEN_H; nLen = psz[1] == 'h' ? 2 : 1; break;
    case 'l': nKind = psz[1] == 'l' ? LEN_LL : LEN_L; nLen = psz[1] == 'l' ? 2 : 1; break;
    case 'q': nKind = LEN_LL; break;
    case 'L': nKind = LEN_LONG_DOUBLE; break;
    case 'j': nKind = LEN_J; break;
    case 'z': case 'Z': nKind = LEN_Z; break;
    case 't': nKind = LEN_T; break;
    case 'w': nKind = LEN_W; break;
    case 'I': return ParseMicrosoftSize(psz, conv);
    default: return psz;
    }
    conv.nLength = nKind;
    memcpy(conv.szLength, psz, nLen);
    return psz + nLen;
}

// Reads a decimal number at *ppsz (INT_MAX when it overflows) and moves past it.
int ReadNumber(const char** ppsz)
{
    long long n = 0;
    while (**ppsz >= '0' && **ppsz <= '9') {
        if (n <= INT_MAX)
            n = n * 10 + (**ppsz - '0');
        ++*ppsz;
    }
    return n > INT_MAX ? INT_MAX : (int)n;
}

// Parses the conversion after a '%' at psz into conv: a conversion of
// wvsprintfA's language, which is all the core hands over (flags, width and
// precision as digits, a size, a type; never '*' or a position). Gives the
// character after it, or NULL for what this formatter leaves to vsnprintf (an
// unknown type).
const char* ParseConversion(const char* psz, Conversion& conv)
{
    memset(&conv, 0, sizeof(conv));
    conv.nWidth = conv.nPrecision = -1;
    size_t nFlags = 0;
    while (*psz == '-' || *psz == '+' || *psz == ' ' || *psz == '#' || *psz == '0') {
        AddFlag(conv, nFlags, *psz);
        ++psz;
    }
    if (*psz >= '0' && *psz <= '9')
        conv.nWidth = ReadNumber(&psz);
    if (*psz == '.') {
        ++psz;
        conv.nPrecision = ReadNumber(&psz);
    }
    psz = ParseLength(psz, conv);
    if (!KnownType(*psz))
        return NULL;
    conv.cType = *psz;
    NormalizeMicrosoft(conv);
    return psz + 1;
}

// Writes text (nLen bytes) padded to the width with spaces, left or right.
void PutPadded(Output& out, const Conversion& conv, const char* p, size_t nLen)
{
    size_t nPad = conv.nWidth > 0 && (size_t)conv.nWidth > nLen ? (size_t)conv.nWidth - nLen : 0;
    if (!conv.bLeft && nPad != 0)
        out.Fill(' ', nPad);
    out.Put(p, nLen);
    if (conv.bLeft && nPad != 0)
        out.Fill(' ', nPad);
}

// An integer conversion's argument, as its type and length say, widened.
unsigned long long TakeInteger(const Conversion& conv, va_list& args, bool bSigned, bool& bNegative)
{
    long long nSigned = 0;
    unsigned long long nUnsigned = 0;
    switch (conv.nLength) {
    case LEN_LL:
    case LEN_LONG_DOUBLE:
        if (bSigned) nSigned = va_arg(args, long long); else nUnsigned = va_arg(args, unsigned long long);
        break;
    case LEN_L:
        if (bSigned) nSigned = va_arg(args, long); else nUnsigned = va_arg(args, unsigned long);
        break;
    case LEN_J:
        if (bSigned) nSigned = va_arg(args, intmax_t); else nUnsigned = va_arg(args, uintmax_t);
        break;
    case LEN_Z:
        if (bSigned) nSigned = (long long)va_arg(args, ssize_t); else nUnsigned = va_arg(args, size_t);
        break;
    case LEN_T:
        if (bSigned) nSigned = va_arg(args, ptrdiff_t); else nUnsigned = (unsigned long long)va_arg(args, ptrdiff_t);
        break;
    case LEN_HH:
        if (bSigned) nSigned = (signed char)va_arg(args, int); else nUnsigned = (unsigned char)va_arg(args, unsigned int);
        break;
    case LEN_H:
        if (bSigned) nSigned = (short)va_arg(args, int); else nUnsigned = (unsigned short)va_arg(args, unsigned int);
        break;
    default:
        if (bSigned) nSigned = va_arg(args, int); else nUnsigned = va_arg(args, unsigned int);
        break;
    }
    bNegative = bSigned && nSigned < 0;
    if (bSigned)
        nUnsigned = bNegative ? 0ull - (unsigned long long)nSigned : (unsigned long long)nSigned;
    return nUnsigned;
}

// An integer by hand: d, i, u, x, X with '-' and '0' flags and a width.
void PutInteger(Output& out, const Conversion& conv, va_list& args)
{
    bool bSigned = conv.cType == 'd' || conv.cType == 'i';
    bool bNegative = false;
    unsigned long long nValue = TakeInteger(conv, args, bSigned, bNegative);
    const char* pszDigits = conv.cType == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    unsigned int nBase = (conv.cType == 'x' || conv.cType == 'X') ? 16 : 10;
    char szText[32];
    char* p = szText + sizeof(szText);
    do {
        *--p = pszDigits[nValue % nBase];
        nValue /= nBase;
    } while (nValue != 0);
    size_t nDigits = (size_t)(szText + sizeof(szText) - p);
    size_t nText = nDigits + (bNegative ? 1 : 0);
    if (conv.bZero && !conv.bLeft && conv.nWidth > 0 && (size_t)conv.nWidth > nText) {
        if (bNegative)
            out.Put("-", 1);
        out.Fill('0', (size_t)conv.nWidth - nText);
        out.Put(p, nDigits);
        return;
    }
    if (bNegative)
        *--p = '-';
    PutPadded(out, conv, p, nText);
}

// TRUE when the hand-made integer path gives exactly what printf would.
bool PlainInteger(const Conversion& conv)
{
    char c = conv.cType;
    return (c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X') && conv.nPrecision < 0 && OnlyPadFlags(conv, true);
}

// A wide string or character in the locale's multibyte encoding; a character it
// cannot encode becomes '?'. At most nPrecision bytes (when given), never part
// of a character.
void PutWide(Output& out, const Conversion& conv, const wchar_t* pwsz, size_t nCount)
{
    char szText[2048];
    size_t nText = 0;
    size_t nLimit = conv.nPrecision >= 0 && (size_t)conv.nPrecision < sizeof(szText) ? (size_t)conv.nPrecision : sizeof(szText);
    mbstate_t state;
    memset(&state, 0, sizeof(state));
    for (size_t i = 0; i < nCount && (nCount != (size_t)-1 || pwsz[i] != L'\0'); ++i) {
        char szChar[MB_LEN_MAX];
        size_t n = wcrtomb(szChar, pwsz[i], &state);
        if (n == (size_t)-1) {
            szChar[0] = '?';
            n = 1;
            memset(&state, 0, sizeof(state));
        }
        if (nText + n > nLimit)
            break;
        memcpy(szText + nText, szChar, n);
        nText += n;
    }
    PutPadded(out, conv, szText, nText);
}

// Writes the conversion back as a format of its own into szFormat (48 bytes):
// its flags, width and precision as numbers, then pszLength and its type.
void ConversionFormat(char* szFormat, const Conversion& conv, const char* pszLength)
{
    const size_t nSize = 48;
    int nLen = snprintf(szFormat, nSize, "%%%s", conv.szFlags);
    if (conv.nWidth >= 0)
        nLen += snprintf(szFormat + nLen, nSize - (size_t)nLen, "%d", conv.nWidth);
    if (conv.nPrecision >= 0)
        nLen += snprintf(szFormat + nLen, nSize - (size_t)nLen, ".%d", conv.nPrecision);
    snprintf(szFormat + nLen, nSize - (size_t)nLen, "%s%c", pszLength, conv.cType);
}

// An integer conversion through snprintf at the widest size (its length letters
// replaced by "ll"), the argument taken at the size the conversion names, into
// pOut (nRoom bytes). What snprintf returns.
int PrintInteger(char* pOut, size_t nRoom, const Conversion& conv, va_list& args)
{
    bool bNegative = false;
    bool bSigned = conv.cType == 'd' || conv.cType == 'i';
    unsigned long long nValue = TakeInteger(conv, args, bSigned, bNegative);
    char szWide[48];
    ConversionFormat(szWide, conv, "ll");
    if (bSigned)
        return snprintf(pOut, nRoom, szWide, bNegative ? -(long long)(nValue - 1) - 1 : (long long)nValue);
    return snprintf(pOut, nRoom, szWide, nValue);
}

// One conversion on its own through snprintf, its argument taken as its type says.
void PutByLibrary(Output& out, const Conversion& conv, va_list& args)
{
    char szFormat[48];
    ConversionFormat(szFormat, conv, conv.szLength);

    char* pOut = out.pBuf + out.nLen;
    size_t nRoom = out.nSize - out.nLen;
    int nMade = -1;
    switch (conv.cType) {
    case 'p':
        nMade = snprintf(pOut, nRoom, szFormat, va_arg(args, void*));
        break;
    case 's':
        nMade = snprintf(pOut, nRoom, szFormat, va_arg(args, const char*));
        break;
    case 'c':
        nMade = snprintf(pOut, nRoom, szFormat, va_arg(args, int));
        break;
    default:
        nMade = PrintInteger(pOut, nRoom, conv, args);
        break;
    }
    if (nMade > 0)
        out.nLen += (size_t)nMade < nRoom ? (size_t)nMade : nRoom - 1;
}

// One conversion into out. FALSE when it is one to leave to vsnprintf.
bool PutConversion(Output& out, const Conversion& conv, va_list& args)
{
    bool bWide = conv.cType == 'C' || conv.cType == 'S' || (conv.nLength == LEN_L && (conv.cType == 'c' || conv.cType == 's'));
    if (bWide && (conv.cType == 's' || conv.cType == 'S')) {
        const wchar_t* pwsz = va_arg(args, const wchar_t*);
        if (pwsz == NULL)
            return false;
        PutWide(out, conv, pwsz, (size_t)-1);
    } else if (bWide) {
        wchar_t wc = (wchar_t)va_arg(args, wint_t);
        Conversion whole = conv;
        whole.nPrecision = -1;
        PutWide(out, whole, &wc, 1);
    } else if (PlainInteger(conv)) {
        PutInteger(out, conv, args);
    } else if (conv.cType == 's' && OnlyPadFlags(conv, false)) {
        const char* psz = va_arg(args, const char*);
        if (psz == NULL) {
            static const char s_szNull[] = "(null)";
            // glibc shows "(null)" only where the precision leaves room for all of it.
            size_t nLen = conv.nPrecision >= 0 && conv.nPrecision < 6 ? 0 : sizeof(s_szNull) - 1;
            PutPadded(out, conv, s_szNull, nLen);
            return true;
        }
        size_t nLen = conv.nPrecision >= 0 ? strnlen(psz, (size_t)conv.nPrecision) : strlen(psz);
        PutPadded(out, conv, psz, nLen);
    } else if (conv.cType == 'c' && OnlyPadFlags(conv, false)) {
        char c = (char)va_arg(args, int);
        PutPadded(out, conv, &c, 1);
    } else {
        PutByLibrary(out, conv, args);
    }
    return true;
}

// Formats pszPiece, one conversion ("%" and its parts, text after it kept as
// it stands), into out; FALSE when it is one to leave to vsnprintf.
bool FormatPiece(Output& out, const char* pszPiece, va_list& args)
{
    if (pszPiece[0] != '%')
        return false;
    Conversion conv;
    const char* pRest = ParseConversion(pszPiece + 1, conv);
    if (pRest == NULL || strchr(pRest, '%') != NULL || !PutConversion(out, conv, args))
        return false;
    out.Put(pRest, strlen(pRest));
    return true;
}

} // namespace

size_t QwFormatPiece(char* pszBuf, size_t nBufSize, const char* pszFormat, va_list args)
{
    if (pszBuf == NULL || nBufSize == 0)
        return 0;
    pszBuf[0] = '\0';
    if (pszFormat == NULL)
        return 0;
    Output out = { pszBuf, nBufSize, 0 };
    // Copies: a va_list parameter may not bind to a reference, and a format left
    // to vsnprintf starts again from the first argument.
    va_list argsWork, argsAgain;
    va_copy(argsWork, args);
    va_copy(argsAgain, args);
    size_t nLen = 0;
    if (FormatPiece(out, pszFormat, argsWork)) {
        nLen = out.nLen;
    } else {
        int nMade = vsnprintf(pszBuf, nBufSize, pszFormat, argsAgain);
        nLen = nMade < 0 ? 0 : (size_t)nMade < nBufSize ? (size_t)nMade : nBufSize - 1;
    }
    pszBuf[nLen] = '\0';
    va_end(argsAgain);
    va_end(argsWork);
    return nLen;
}
