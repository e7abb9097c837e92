// The Windows configuration reader: only a regular disk file of at most 64 KiB
// is read. A path of the classic length goes to the system's own reader
// (GetPrivateProfile*W, which also reads UTF-16 files); a longer one, which
// that reader cannot open, is read here and parsed by CProfile.
#include "../LogClass/Platform.h"
#include "../LogClass/Profile.h"
#include "Win32Charset.h"
#include "Win32Files.h"

#include <string>

namespace {

const DWORD PROFILE_LIMIT = 65536;

// Opens strWide for reading when it is a regular file of at most
// PROFILE_LIMIT bytes; INVALID_HANDLE_VALUE otherwise.
HANDLE OpenSmallRegularFile(const std::wstring& strWide)
{
    if (strWide.empty())
        return INVALID_HANDLE_VALUE;
    HANDLE hFile = CreateFileW(strWide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return hFile;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(hFile) != FILE_TYPE_DISK || !GetFileInformationByHandle(hFile, &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || info.nFileSizeHigh != 0
        || info.nFileSizeLow > PROFILE_LIMIT) {
        CloseHandle(hFile);
        return INVALID_HANDLE_VALUE;
    }
    return hFile;
}

// Reads a configuration file. A path of the classic length is read by the
// system's own reader (strFile receives its path, the text stays empty); a longer
// one, which that reader cannot open, is read here into strText. FALSE when
// it is not a regular file of at most 64 KiB.
BOOL ReadProfile(const std::string& strIni, std::wstring& strFile, std::string& strText)
{
    strFile = QwWidePath(strIni);
    // Closes the file on every way out, an exception from append included.
    CHandle file = { OpenSmallRegularFile(strFile) };
    if (file.h == INVALID_HANDLE_VALUE)
        return FALSE;
    if (strFile.compare(0, 4, L"\\\\?\\") != 0)
        return TRUE;
    strFile.clear();
    char szBuf[4096];
    DWORD nRead = 0;
    while (ReadFile(file.h, szBuf, sizeof(szBuf), &nRead, NULL)) {
        if (nRead == 0)
            return TRUE;
        strText.append(szBuf, nRead);
        if (strText.size() > PROFILE_LIMIT)
            return FALSE;  // it grew since it was measured
    }
    return FALSE;
}

} // namespace

int QwProfileInt(const std::string& strIni, const char* pszSection, const char* pszKey, int nDefault)
{
    std::wstring strFile;
    std::string strText;
    if (!ReadProfile(strIni, strFile, strText))
        return nDefault;
    if (strFile.empty())
        return CProfile(strText).Int(pszSection, pszKey, nDefault);
    std::wstring strSection = QwWideFromUtf8(pszSection), strKey = QwWideFromUtf8(pszKey);
    return (int)GetPrivateProfileIntW(strSection.c_str(), strKey.c_str(), nDefault, strFile.c_str());
}

BOOL QwProfileString(const std::string& strIni, const char* pszSection, const char* pszKey, std::string& strValue)
{
    strValue.clear();
    std::wstring strFile;
    std::string strText;
    if (!ReadProfile(strIni, strFile, strText))
        return FALSE;
    if (strFile.empty())
        return CProfile(strText).String(pszSection, pszKey, strValue) ? TRUE : FALSE;
    std::wstring strSection = QwWideFromUtf8(pszSection), strKey = QwWideFromUtf8(pszKey);
    std::wstring strWide(32768, L'\0');
    DWORD nLen = GetPrivateProfileStringW(strSection.c_str(), strKey.c_str(), L"", &strWide[0], (DWORD)strWide.size(),
                                          strFile.c_str());
    strValue = QwUtf8FromWide(strWide.c_str(), nLen);
    return !strValue.empty();
}
