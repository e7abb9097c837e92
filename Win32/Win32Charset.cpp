// Text of the Windows side: the library's paths are UTF-8 and become wide
// strings at each file-system call; names given by the host are text of the
// ANSI code page, searched as that code page reads them.
#include "../LogClass/Platform.h"
#include "Win32Charset.h"

#include <mbstring.h>

namespace {

// Paths from this length on take the \\?\ form: CreateDirectoryW refuses a
// classic path that leaves no room for an 8.3 name (the classic limit less 12).
const size_t LONG_PATH_FROM = QW_MAX_PATH - 12;

} // namespace

std::wstring QwWideFromUtf8(const std::string& str)
{
    if (str.empty())
        return std::wstring();
    int nWide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, str.data(), (int)str.size(), NULL, 0);
    if (nWide <= 0)
        return std::wstring();
    std::wstring strWide((size_t)nWide, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, str.data(), (int)str.size(), &strWide[0], nWide);
    return strWide;
}

std::string QwUtf8FromWide(const wchar_t* psz, size_t nLen)
{
    if (psz == NULL || nLen == 0)
        return std::string();
    int nBytes = WideCharToMultiByte(CP_UTF8, 0, psz, (int)nLen, NULL, 0, NULL, NULL);
    if (nBytes <= 0)
        return std::string();
    std::string str((size_t)nBytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, psz, (int)nLen, &str[0], nBytes, NULL, NULL);
    return str;
}

std::wstring QwWidePath(const std::string& strPath)
{
    std::wstring strWide = QwWideFromUtf8(strPath);
    for (size_t i = 0; i < strWide.size(); ++i)
        if (strWide[i] == L'/')
            strWide[i] = L'\\';
    if (strWide.size() < LONG_PATH_FROM || strWide.compare(0, 4, L"\\\\?\\") == 0)
        return strWide;
    // The \\?\ form takes the path as it stands: make it full and plain first.
    DWORD nFull = GetFullPathNameW(strWide.c_str(), 0, NULL, NULL);
    if (nFull == 0)
        return strWide;
    std::wstring strFull(nFull, L'\0');
    nFull = GetFullPathNameW(strWide.c_str(), nFull, &strFull[0], NULL);
    strFull.resize(nFull);
    if (strFull.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + strFull.substr(2);
    return L"\\\\?\\" + strFull;
}

const char* QwFindChar(const char* psz, char c)
{
    return psz == NULL ? NULL : (const char*)_mbschr((const unsigned char*)psz, (unsigned char)c);
}

const char* QwFindLastChar(const char* psz, char c)
{
    return psz == NULL ? NULL : (const char*)_mbsrchr((const unsigned char*)psz, (unsigned char)c);
}
