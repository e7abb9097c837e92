// The Windows side of the path and folder helpers Platform.h declares: every
// file-system call is the wide one.
#include "../LogClass/Platform.h"
#include "Win32Charset.h"
#include "Win32Files.h"

#include <io.h>
#include <stdio.h>
#include <string.h>

#include <exception>

namespace {

// Seconds since 1970 of a file time.
time_t TimeOf(const FILETIME& ft)
{
    ULARGE_INTEGER n;
    n.LowPart = ft.dwLowDateTime;
    n.HighPart = ft.dwHighDateTime;
    const unsigned long long nEpoch = 116444736000000000ULL;  // 1970-01-01 in 100 ns steps
    return n.QuadPart < nEpoch ? 0 : (time_t)((n.QuadPart - nEpoch) / 10000000ULL);
}

// TRUE when strPath names a folder that is not a reparse point (link, junction).
BOOL IsPlainFolder(const std::wstring& strPath)
{
    DWORD dwAttr = GetFileAttributesW(strPath.c_str());
    return dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY) != 0
           && (dwAttr & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The kind of a listed entry.
int KindOf(DWORD dwAttr)
{
    if (dwAttr & FILE_ATTRIBUTE_REPARSE_POINT)
        return QW_ENTRY::OTHER_ENTRY;
    if (dwAttr & FILE_ATTRIBUTE_DIRECTORY)
        return QW_ENTRY::FOLDER_ENTRY;
    if (dwAttr & FILE_ATTRIBUTE_DEVICE)
        return QW_ENTRY::OTHER_ENTRY;
    return QW_ENTRY::FILE_ENTRY;
}

// Opens strPath itself (a reparse point at its end is not followed), sharing
// reading and writing but not deletion: while open, nobody renames or removes it.
HANDLE OpenItself(const std::wstring& strPath, DWORD dwAccess, DWORD dwFlags)
{
    if (strPath.empty())
        return INVALID_HANDLE_VALUE;
    return CreateFileW(strPath.c_str(), dwAccess | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | dwFlags, NULL);
}

// The final path of the open file or folder h; empty when it cannot be read.
std::wstring FinalPathOf(HANDLE h)
{
    std::wstring strPath(MAX_PATH, L'\0');
    DWORD nLen = GetFinalPathNameByHandleW(h, &strPath[0], (DWORD)strPath.size(), 0);
    if (nLen >= strPath.size()) {
        strPath.resize(nLen + 1);
        nLen = GetFinalPathNameByHandleW(h, &strPath[0], (DWORD)strPath.size(), 0);
    }
    strPath.resize(nLen < strPath.size() ? nLen : 0);
    return strPath;
}

// TRUE when two final paths name the same place (letter case aside).
bool SamePath(const std::wstring& strA, const std::wstring& strB)
{
    return !strA.empty() && CompareStringOrdinal(strA.c_str(), (int)strA.size(), strB.c_str(), (int)strB.size(), TRUE)
                                == CSTR_EQUAL;
}

// TRUE when strName is one name, with no separator.
bool IsOneName(const std::string& strName) { return !strName.empty() && strName.find_first_of("\\/:") == std::string::npos; }

// Opens the day folder strSub of strFolder with dwAccess when it is a plain
// folder (no reparse point) whose final path lies directly in the log folder's;
// strFinal receives that path. Held without delete sharing, it cannot be
// swapped for a junction while open. INVALID_HANDLE_VALUE otherwise.
HANDLE OpenDayFolder(const std::string& strFolder, const std::string& strSub, DWORD dwAccess, std::wstring& strFinal)
{
    if (!IsOneName(strSub))
        return INVALID_HANDLE_VALUE;
    std::wstring strRoot = QwWidePath(strFolder);
    CHandle root = { strRoot.empty() ? INVALID_HANDLE_VALUE
                                     : CreateFileW(strRoot.c_str(), FILE_READ_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL) };
    if (root.h == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    HANDLE hDay = OpenItself(QwWidePath(strFolder + "\\" + strSub), dwAccess, FILE_FLAG_BACKUP_SEMANTICS);
    BY_HANDLE_FILE_INFORMATION info;
    if (hDay != INVALID_HANDLE_VALUE && GetFileInformationByHandle(hDay, &info)
        && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
        && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        strFinal = FinalPathOf(hDay);
        if (SamePath(strFinal, FinalPathOf(root.h) + L"\\" + QwWideFromUtf8(strSub)))
            return hDay;
    }
    if (hDay != INVALID_HANDLE_VALUE)
        CloseHandle(hDay);
    return INVALID_HANDLE_VALUE;
}

// Marks the open file or folder h for deletion (done when the last handle
// closes), or takes the mark back. FALSE when refused (a folder not empty).
BOOL MarkForDeletion(HANDLE h, BOOL bDelete)
{
    FILE_DISPOSITION_INFO disp;
    disp.DeleteFile = bDelete;
    return SetFileInformationByHandle(h, FileDispositionInfo, &disp, sizeof(disp));
}

} // namespace

BOOL QwNameToPath(const char* pszName, std::string& strPath)
{
    strPath.clear();
    size_t nLen = strlen(pszName);
    if (nLen == 0)
        return TRUE;
    int nWide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pszName, (int)nLen, NULL, 0);
    if (nWide <= 0)
        return FALSE;
    std::wstring strWide((size_t)nWide, L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pszName, (int)nLen, &strWide[0], nWide);
    strPath = QwUtf8FromWide(strWide.c_str(), strWide.size());
    return TRUE;
}

BOOL QwIsAbsolutePath(const std::string& strPath)
{
    if (strPath.size() >= 2 && strPath[1] == ':')
        return TRUE;  // D:\Logs, and D:Logs on that drive's current folder
    return !strPath.empty() && (strPath[0] == '\\' || strPath[0] == '/');
}

QW_FOUND QwFindFolder(const std::string& strPath)
{
    std::wstring strWide = QwWidePath(strPath);
    if (strWide.empty())
        return QW_FOUND_ERROR;
    DWORD dwAttr = GetFileAttributesW(strWide.c_str());
    if (dwAttr != INVALID_FILE_ATTRIBUTES)
        return (dwAttr & FILE_ATTRIBUTE_DIRECTORY) ? QW_FOUND_DIR : QW_FOUND_NONE;
    DWORD dwError = GetLastError();
    if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND || dwError == ERROR_INVALID_NAME)
        return QW_FOUND_NONE;
    return QW_FOUND_ERROR;
}

BOOL QwMakeFolder(const std::string& strPath)
{
    std::wstring strWide = QwWidePath(strPath);
    return !strWide.empty() && CreateDirectoryW(strWide.c_str(), NULL);
}

BOOL QwListFolder(const std::string& strFolder, BOOL bNoLink, std::vector<QW_ENTRY>& entries)
{
    entries.clear();
    std::wstring strWide = QwWidePath(strFolder);
    if (strWide.empty() || (bNoLink && !IsPlainFolder(strWide)))
        return FALSE;
    WIN32_FIND_DATAW fd;
    // Ends the search on every way out, an exception from push_back included.
    struct CFind
    {
        HANDLE h;
        ~CFind()
        {
            if (h != INVALID_HANDLE_VALUE)
                FindClose(h);
        }
    } find = { FindFirstFileW((strWide + L"\\*").c_str(), &fd) };
    if (find.h == INVALID_HANDLE_VALUE)
        return FALSE;
    do {
        if (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0)
            continue;
        QW_ENTRY entry;
        entry.strName = QwUtf8FromWide(fd.cFileName, wcslen(fd.cFileName));
        entry.nKind = KindOf(fd.dwFileAttributes);
        entry.tWritten = TimeOf(fd.ftLastWriteTime);
        entry.nSize = ((unsigned long long)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
        entries.push_back(entry);
    } while (FindNextFileW(find.h, &fd));
    return TRUE;
}

BOOL QwIsPlainDiskFile(HANDLE hFile)
{
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileType(hFile) == FILE_TYPE_DISK && GetFileInformationByHandle(hFile, &info)
           && (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0
           && info.nNumberOfLinks == 1;
}

BOOL QwRemoveFileIn(const std::string& strFolder, const std::string& strSub, const std::string& strFile)
{
    std::wstring strDay;
    CHandle day = { IsOneName(strFile) ? OpenDayFolder(strFolder, strSub, 0, strDay) : INVALID_HANDLE_VALUE };
    if (day.h == INVALID_HANDLE_VALUE)
        return FALSE;
    // A log some object holds open shares no deletion: this open then fails.
    CHandle file = { OpenItself(QwWidePath(strFolder + "\\" + strSub + "\\" + strFile), DELETE, 0) };
    const std::wstring strWant = strDay + L"\\" + QwWideFromUtf8(strFile);
    if (file.h == INVALID_HANDLE_VALUE || !QwIsPlainDiskFile(file.h) || !SamePath(FinalPathOf(file.h), strWant)
        || !MarkForDeletion(file.h, TRUE))
        return FALSE;
    // Checked again with the deletion pending: where folders are swapped past
    // the sharing rules (a host file system under Wine), the mark is taken back.
    if (!SamePath(FinalPathOf(file.h), strWant)) {
        MarkForDeletion(file.h, FALSE);
        return FALSE;
    }
    return TRUE;
}

BOOL QwRemoveEmptyFolderIn(const std::string& strFolder, const std::string& strSub)
{
    std::wstring strDay;
    CHandle day = { OpenDayFolder(strFolder, strSub, DELETE, strDay) };
    return day.h != INVALID_HANDLE_VALUE && MarkForDeletion(day.h, TRUE);
}


namespace {

// QwOpenFolderOfFile, which may run out of memory on the way: the folder
// opened itself, a plain folder whose final path lies directly in the final
// path of the folder above it.
HANDLE OpenFolderOfFile(const char* pszPath)
{
    std::string strPath(pszPath);
    std::string::size_type nFile = strPath.find_last_of("\\/");
    if (nFile == std::string::npos || nFile == 0)
        return INVALID_HANDLE_VALUE;
    std::string strFolder = strPath.substr(0, nFile);
    std::string::size_type nUp = strFolder.find_last_of("\\/");
    HANDLE hFolder = OpenItself(QwWidePath(strFolder), 0, FILE_FLAG_BACKUP_SEMANTICS);
    std::wstring strUp = nUp == std::string::npos ? std::wstring() : QwWidePath(strFolder.substr(0, nUp));
    CHandle up = { strUp.empty() ? INVALID_HANDLE_VALUE
                                 : CreateFileW(strUp.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL) };
    BY_HANDLE_FILE_INFORMATION info;
    if (hFolder != INVALID_HANDLE_VALUE && GetFileInformationByHandle(hFolder, &info)
        && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
        && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        // Under Wine a Unix link is no reparse point: its final path gives it away.
        // Where a final path cannot be read (Wine past the classic length), the
        // attributes decide.
        std::wstring strFinal = FinalPathOf(hFolder), strUpFinal = FinalPathOf(up.h);
        if (!strUpFinal.empty() && strUpFinal[strUpFinal.size() - 1] != L'\\')
            strUpFinal += L"\\";
        if (strFinal.empty() || up.h == INVALID_HANDLE_VALUE || strUpFinal.empty()
            || SamePath(strFinal, strUpFinal + QwWideFromUtf8(strFolder.substr(nUp + 1))))
            return hFolder;
    }
    if (hFolder != INVALID_HANDLE_VALUE)
        CloseHandle(hFolder);
    return INVALID_HANDLE_VALUE;
}

} // namespace

HANDLE QwOpenFolderOfFile(const char* pszPath)
{
    try {
        return OpenFolderOfFile(pszPath);
    } catch (const std::exception&) {
        return INVALID_HANDLE_VALUE;
    }
}
