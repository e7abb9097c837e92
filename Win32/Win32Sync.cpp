// The Windows side of the stable-storage helpers Platform.h declares.
#include "../LogClass/Platform.h"
#include "Win32Charset.h"

#include <io.h>

BOOL QwSyncFile(FILE* pFile)
{
    if (pFile == NULL)
        return FALSE;
    // The append-only handle may flush: FILE_APPEND_DATA is write access enough.
    HANDLE hFile = (HANDLE)_get_osfhandle(_fileno(pFile));
    return hFile != INVALID_HANDLE_VALUE && FlushFileBuffers(hFile) ? TRUE : FALSE;
}

BOOL QwSyncFolder(const std::string& strFolder)
{
    // A folder is opened as such with backup semantics; flushing it wants the
    // right to add files to it, which a folder the library writes in grants.
    std::wstring strWide = QwWidePath(strFolder);
    if (strWide.empty())
        return FALSE;
    HANDLE hFolder = CreateFileW(strWide.c_str(), FILE_ADD_FILE | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (hFolder == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL bFlushed = FlushFileBuffers(hFolder);
    CloseHandle(hFolder);
    return bFlushed ? TRUE : FALSE;
}
