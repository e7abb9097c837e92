// POSIX stand-ins: locks, the executable path, folders and the folder listing,
// strings and the debug channel.
#include "Win32Posix.h"

#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

void InitializeCriticalSection(CRITICAL_SECTION* pcs)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&pcs->mtx, &attr);
    pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(CRITICAL_SECTION* pcs) { pthread_mutex_lock(&pcs->mtx); }

void LeaveCriticalSection(CRITICAL_SECTION* pcs) { pthread_mutex_unlock(&pcs->mtx); }

void DeleteCriticalSection(CRITICAL_SECTION* pcs) { pthread_mutex_destroy(&pcs->mtx); }

DWORD GetModuleFileNameA(HMODULE, char* pszPath, DWORD nSize)
{
    if (pszPath == NULL || nSize == 0)
        return 0;
    char szLink[4096];
    ssize_t nLen = readlink("/proc/self/exe", szLink, sizeof(szLink));
    if (nLen <= 0 || nLen >= (ssize_t)sizeof(szLink))
        return 0;
    if ((DWORD)nLen >= nSize) {
        // Cut and terminated, reported as the full buffer, as Windows does.
        memcpy(pszPath, szLink, nSize - 1);
        pszPath[nSize - 1] = '\0';
        return nSize;
    }
    memcpy(pszPath, szLink, (size_t)nLen);
    pszPath[nLen] = '\0';
    return (DWORD)nLen;
}

BOOL CreateDirectoryA(const char* pszPath, void*)
{
    return pszPath != NULL && mkdir(pszPath, 0777) == 0;
}

namespace {

// An open folder listing: the folder's path and its stream of entries.
struct FindState
{
    DIR* pDir;
    std::string strFolder;
};

// Fills *pData from the next entry of *pState. FALSE at the end of the folder.
BOOL ReadEntry(FindState* pState, WIN32_FIND_DATAA* pData)
{
    struct dirent* pEntry = readdir(pState->pDir);
    if (pEntry == NULL)
        return FALSE;
    memset(pData, 0, sizeof(*pData));
    snprintf(pData->cFileName, sizeof(pData->cFileName), "%s", pEntry->d_name);
    std::string strFull = pState->strFolder + "/" + pEntry->d_name;
    struct stat st;
    if (stat(strFull.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        pData->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    return TRUE;
}

} // namespace

HANDLE FindFirstFileA(const char* pszPattern, WIN32_FIND_DATAA* pData)
{
    if (pszPattern == NULL || pData == NULL)
        return INVALID_HANDLE_VALUE;
    std::string strFolder(pszPattern);
    std::string::size_type nSep = strFolder.rfind('/');
    strFolder = (nSep == std::string::npos) ? std::string(".") : strFolder.substr(0, nSep);
    FindState* pState = new (std::nothrow) FindState;
    if (pState == NULL)
        return INVALID_HANDLE_VALUE;
    pState->strFolder = strFolder.empty() ? std::string("/") : strFolder;
    pState->pDir = opendir(pState->strFolder.c_str());
    if (pState->pDir == NULL || !ReadEntry(pState, pData)) {
        FindClose(pState);
        return INVALID_HANDLE_VALUE;
    }
    return pState;
}

BOOL FindNextFileA(HANDLE hFind, WIN32_FIND_DATAA* pData)
{
    if (hFind == NULL || hFind == INVALID_HANDLE_VALUE || pData == NULL)
        return FALSE;
    return ReadEntry(static_cast<FindState*>(hFind), pData);
}

BOOL FindClose(HANDLE hFind)
{
    if (hFind == NULL || hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindState* pState = static_cast<FindState*>(hFind);
    if (pState->pDir != NULL)
        closedir(pState->pDir);
    delete pState;
    return TRUE;
}

int lstrlenA(const char* psz) { return psz == NULL ? 0 : (int)strlen(psz); }

unsigned char* _mbsrchr(const unsigned char* psz, unsigned int c)
{
    return psz == NULL ? NULL : (unsigned char*)strrchr((const char*)psz, (int)c);
}

unsigned char* _mbschr(const unsigned char* psz, unsigned int c)
{
    return psz == NULL ? NULL : (unsigned char*)strchr((const char*)psz, (int)c);
}

void OutputDebugStringA(const char* psz)
{
    if (psz != NULL) {
        fputs(psz, stderr);
        fflush(stderr);
    }
}
