// The settings file on Windows: QUILLWORK_INI, %ProgramData%\Quillwork, and the
// file read whole and converted as the system's reader converts it (UTF-16
// with its byte-order mark, UTF-8 with its mark, else the ANSI code page).
// Only a regular disk file of at most 64 KiB is read.
#include "../LogClass/Platform.h"
#include "Win32Charset.h"
#include "Win32Files.h"

#include <string.h>

#include <string>

namespace {

const DWORD PROFILE_LIMIT = 65536;

// The system's text for nError, without its line end.
std::string ErrorText(DWORD nError)
{
    wchar_t* pszText = NULL;
    DWORD nLen = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                NULL, nError, 0, (LPWSTR)&pszText, 0, NULL);
    std::string strText = nLen == 0 ? "error " + std::to_string(nError) : QwUtf8FromWide(pszText, nLen);
    if (pszText != NULL)
        LocalFree(pszText);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r' || strText.back() == ' '))
        strText.pop_back();
    return strText;
}

// strWhy = pszWhat, or the reason of nError when there is one.
QW_SETTINGS_FILE Failed(std::string& strWhy, const char* pszWhat, DWORD nError)
{
    strWhy = nError != 0 ? ErrorText(nError) : std::string(pszWhat);
    return QW_SETTINGS_UNREADABLE;
}

// The bytes of a settings file as UTF-8, converted as the system's reader does.
std::string ToUtf8(const std::string& strBytes)
{
    if (strBytes.size() >= 2 && (unsigned char)strBytes[0] == 0xFF && (unsigned char)strBytes[1] == 0xFE) {
        std::wstring strWide((strBytes.size() - 2) / 2, L'\0');
        memcpy(&strWide[0], strBytes.data() + 2, strWide.size() * 2);
        return QwUtf8FromWide(strWide.c_str(), strWide.size());
    }
    if (strBytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return strBytes;
    int nLen = MultiByteToWideChar(CP_ACP, 0, strBytes.data(), (int)strBytes.size(), NULL, 0);
    std::wstring strWide((size_t)(nLen > 0 ? nLen : 0), L'\0');
    if (nLen > 0)
        MultiByteToWideChar(CP_ACP, 0, strBytes.data(), (int)strBytes.size(), &strWide[0], nLen);
    return QwUtf8FromWide(strWide.c_str(), strWide.size());
}

} // namespace

QW_SETTINGS_FILE QwReadSettingsFile(const std::string& strPath, std::string& strText, std::string& strWhy)
{
    strText.clear();
    strWhy.clear();
    std::wstring strWide = QwWidePath(strPath);
    if (strWide.empty())
        return QW_SETTINGS_MISSING;
    // Closes the file on every way out, an exception from append included.
    CHandle file = { CreateFileW(strWide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL) };
    if (file.h == INVALID_HANDLE_VALUE) {
        DWORD nError = GetLastError();
        if (nError == ERROR_FILE_NOT_FOUND || nError == ERROR_PATH_NOT_FOUND || nError == ERROR_INVALID_NAME)
            return QW_SETTINGS_MISSING;
        DWORD nAttr = GetFileAttributesW(strWide.c_str());
        if (nAttr != INVALID_FILE_ATTRIBUTES && (nAttr & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return Failed(strWhy, "a folder, not a file", 0);
        return Failed(strWhy, "", nError);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file.h) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.h, &info))
        return Failed(strWhy, "not a regular file", 0);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Failed(strWhy, "a folder, not a file", 0);
    if (info.nFileSizeHigh != 0 || info.nFileSizeLow > PROFILE_LIMIT)
        return Failed(strWhy, "larger than 64 KiB", 0);
    std::string strBytes;
    char szBuf[4096];
    DWORD nRead = 0;
    while (ReadFile(file.h, szBuf, sizeof(szBuf), &nRead, NULL)) {
        if (nRead == 0) {
            strText = ToUtf8(strBytes);
            return QW_SETTINGS_READ;
        }
        strBytes.append(szBuf, nRead);
        if (strBytes.size() > PROFILE_LIMIT)
            return Failed(strWhy, "larger than 64 KiB", 0);  // it grew since it was measured
    }
    return Failed(strWhy, "", GetLastError());
}

BOOL QwSettingsVariable(std::string& strValue)
{
    std::wstring strWide(32768, L'\0');
    DWORD nLen = GetEnvironmentVariableW(L"QUILLWORK_INI", &strWide[0], (DWORD)strWide.size());
    if (nLen == 0 || nLen >= strWide.size())
        return FALSE;
    strValue = QwUtf8FromWide(strWide.c_str(), nLen);
    return TRUE;
}

BOOL QwSystemSettingsFolder(std::string& strFolder)
{
    std::wstring strWide(32768, L'\0');
    DWORD nLen = GetEnvironmentVariableW(L"ProgramData", &strWide[0], (DWORD)strWide.size());
    if (nLen == 0 || nLen >= strWide.size())
        return FALSE;
    strFolder = QwUtf8FromWide(strWide.c_str(), nLen) + "\\Quillwork";
    return QwIsAbsolutePath(strFolder);
}

std::string QwLastErrorText(void)
{
    return ErrorText(GetLastError());
}
