// The Windows process: the executable's path, the per-user state folder and the
// debug channel.
#include "../LogClass/Platform.h"
#include "Win32Charset.h"

#include <string.h>

#include <string>

DWORD QwExePath(char* pszPath, DWORD nSize)
{
    if (pszPath == NULL || nSize == 0)
        return 0;
    std::wstring strWide(MAX_PATH, L'\0');
    for (;;) {
        DWORD nLen = GetModuleFileNameW(NULL, &strWide[0], (DWORD)strWide.size());
        if (nLen == 0)
            return 0;
        if (nLen < strWide.size()) {
            strWide.resize(nLen);
            break;
        }
        if (strWide.size() >= 32768)
            return 0;
        strWide.resize(strWide.size() * 2);  // cut: grow until the whole path fits
    }
    std::string strPath = QwUtf8FromWide(strWide.c_str(), strWide.size());
    if (strPath.size() >= nSize) {
        memcpy(pszPath, strPath.data(), nSize - 1);
        pszPath[nSize - 1] = '\0';
        return nSize;
    }
    memcpy(pszPath, strPath.c_str(), strPath.size() + 1);
    return (DWORD)strPath.size();
}

BOOL QwUserStateFolder(std::string& strFolder)
{
    std::wstring strWide(32768, L'\0');
    DWORD nLen = GetEnvironmentVariableW(L"LOCALAPPDATA", &strWide[0], (DWORD)strWide.size());
    if (nLen == 0 || nLen >= strWide.size())
        return FALSE;
    strFolder = QwUtf8FromWide(strWide.c_str(), nLen) + "\\Quillwork";
    return QwIsAbsolutePath(strFolder);
}

void QwDebugOutput(const char* pszText)
{
    if (pszText != NULL)
        OutputDebugStringA(pszText);
}
