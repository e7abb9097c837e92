// The Windows side of the formatter: wvsprintfA's own text for the conversions
// it knows, and wide text in the ANSI code page.
#include "../LogClass/Platform.h"

#include <windows.h>

#include <string.h>

BOOL QwFormatPiece(char* pszBuf, size_t nBufSize, const char* pszPiece, va_list args, size_t* pnLen)
{
    if (pnLen != NULL)
        *pnLen = 0;
    if (pszBuf == NULL || nBufSize == 0)
        return TRUE;
    pszBuf[0] = '\0';
    // wvsprintfA writes up to 1024 bytes, whatever the buffer.
    if (pszPiece == NULL || nBufSize < 1025)
        return TRUE;
    int nLen = wvsprintfA(pszBuf, pszPiece, args);
    size_t nText = nLen > 0 ? (nLen < 1024 ? (size_t)nLen : 1024) : 0;
    pszBuf[nText] = '\0';
    if (pnLen != NULL)
        *pnLen = nText;
    return TRUE;
}

size_t QwNarrowText(char* pBuf, size_t nSize, const wchar_t* pwsz, size_t nCount)
{
    if (pBuf == NULL || pwsz == NULL)
        return 0;
    size_t nText = 0;
    for (size_t i = 0; i < nCount && (nCount != (size_t)-1 || pwsz[i] != L'\0'); ++i) {
        // A surrogate pair is one character: converted together or not at all.
        bool bPair = pwsz[i] >= 0xD800 && pwsz[i] <= 0xDBFF && i + 1 < nCount && pwsz[i + 1] >= 0xDC00
                     && pwsz[i + 1] <= 0xDFFF;
        int nWide = bPair ? 2 : 1;
        char szChar[8];
        int n = WideCharToMultiByte(CP_ACP, 0, pwsz + i, nWide, szChar, (int)sizeof(szChar), "?", NULL);
        if (n <= 0) {
            szChar[0] = '?';
            n = 1;
        }
        if (nText + (size_t)n > nSize)
            break;
        memcpy(pBuf + nText, szChar, (size_t)n);
        nText += (size_t)n;
        i += (size_t)(nWide - 1);
    }
    return nText;
}
