// The POSIX side of the formatter: no conversion text of its own (the core lays
// out every conversion as the C library does), and wide text in the locale's
// multibyte encoding, a character it cannot encode written as '?' where the C
// library would give up on the whole text.
#include "../LogClass/Platform.h"

#include <limits.h>
#include <string.h>
#include <wchar.h>

BOOL QwFormatPiece(char* pszBuf, size_t nBufSize, const char* pszPiece, va_list args, size_t* pnLen)
{
    (void)pszBuf, (void)nBufSize, (void)pszPiece, (void)args;
    if (pnLen != NULL)
        *pnLen = 0;
    return FALSE;
}

size_t QwNarrowText(char* pBuf, size_t nSize, const wchar_t* pwsz, size_t nCount)
{
    if (pBuf == NULL || pwsz == NULL)
        return 0;
    size_t nText = 0;
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
        if (nText + n > nSize)
            break;
        memcpy(pBuf + nText, szChar, n);
        nText += n;
    }
    return nText;
}
