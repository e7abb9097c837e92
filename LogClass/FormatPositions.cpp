// The formatter's positional conversions ("%2$s", "*3$"): every argument read
// first, once, in order of position, then the format laid out.
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

} // namespace qwfmt
