// The POSIX process: the executable's path, the per-user state folder and the
// debug channel. A privileged process reads no environment (secure_getenv).
#include "../LogClass/Platform.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

DWORD QwExePath(char* pszPath, DWORD nSize)
{
    if (pszPath == NULL || nSize == 0)
        return 0;
    // The link is read whole, whatever its length: the buffer grows until the
    // text fits with room to spare.
    std::string strLink(256, '\0');
    ssize_t nLen;
    for (;;) {
        nLen = readlink("/proc/self/exe", &strLink[0], strLink.size());
        if (nLen <= 0)
            return 0;
        if ((size_t)nLen < strLink.size())
            break;
        strLink.resize(strLink.size() * 2);
    }
    if ((DWORD)nLen >= nSize) {
        // Cut and terminated, reported as the full buffer, as Windows does.
        memcpy(pszPath, strLink.data(), nSize - 1);
        pszPath[nSize - 1] = '\0';
        return nSize;
    }
    memcpy(pszPath, strLink.data(), (size_t)nLen);
    pszPath[nLen] = '\0';
    return (DWORD)nLen;
}

BOOL QwUserStateFolder(std::string& strFolder)
{
    // A relative XDG_STATE_HOME is invalid and ignored, as the base directory rules say.
    const char* pszState = secure_getenv("XDG_STATE_HOME");
    if (pszState != NULL && pszState[0] == '/') {
        strFolder = std::string(pszState) + "/quillwork";
        return TRUE;
    }
    const char* pszHome = secure_getenv("HOME");
    if (pszHome == NULL || pszHome[0] != '/')
        return FALSE;
    strFolder = std::string(pszHome) + "/.local/state/quillwork";
    return TRUE;
}

void QwDebugOutput(const char* pszText)
{
    if (pszText == NULL || pszText[0] == '\0' || secure_getenv("QUILLWORK_DEBUG") == NULL)
        return;
    size_t nLen = strlen(pszText);
    // One write per report, so reports of two threads do not mix.
    char szLine[1024];
    if (nLen + 2 > sizeof(szLine)) {
        fputs(pszText, stderr);
        fputc('\n', stderr);
    } else {
        memcpy(szLine, pszText, nLen);
        if (szLine[nLen - 1] != '\n')
            szLine[nLen++] = '\n';
        (void)!write(STDERR_FILENO, szLine, nLen);
    }
}
