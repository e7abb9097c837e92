// The message formatter (see Formatter.h): reading a conversion, and running
// a format through the layout of FormatText, FormatPlatform and FormatPositions.
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

} // namespace qwfmt

namespace qwfmt {

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

} // namespace qwfmt

using namespace qwfmt;

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

// The format loop's own steps, inlined into it.
namespace {

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

using namespace qwfmt;

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

