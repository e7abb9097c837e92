// The Windows formatter of one conversion: wvsprintfA itself.
#include "../LogClass/Platform.h"

#include <windows.h>

size_t QwFormatPiece(char* pszBuf, size_t nBufSize, const char* pszPiece, va_list args)
{
    if (pszBuf == NULL || nBufSize == 0)
        return 0;
    pszBuf[0] = '\0';
    // wvsprintfA writes up to 1024 bytes, whatever the buffer.
    if (pszPiece == NULL || nBufSize < 1025)
        return 0;
    int nLen = wvsprintfA(pszBuf, pszPiece, args);
    size_t nText = nLen > 0 ? (nLen < 1024 ? (size_t)nLen : 1024) : 0;
    pszBuf[nText] = '\0';
    return nText;
}
