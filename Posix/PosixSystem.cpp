// POSIX stand-ins: locks, the executable path, strings and the debug channel.
#include "../LogClass/Platform.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

void InitializeCriticalSection(CRITICAL_SECTION* pcs)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&pcs->mtx, &attr);
    pthread_mutexattr_destroy(&attr);
    pcs->nSpin = 0;
}

BOOL InitializeCriticalSectionAndSpinCount(CRITICAL_SECTION* pcs, DWORD nSpin)
{
    InitializeCriticalSection(pcs);
    pcs->nSpin = nSpin;
    return TRUE;
}

void EnterCriticalSection(CRITICAL_SECTION* pcs)
{
    // A few pauses between tries, so the spinning thread does not keep taking
    // the lock's cache line from the thread that holds it.
    for (DWORD n = 0; n < pcs->nSpin; n += 8) {
        if (pthread_mutex_trylock(&pcs->mtx) == 0)
            return;
        for (int i = 0; i < 8; ++i)
            QwCpuRelax();
    }
    pthread_mutex_lock(&pcs->mtx);
}

void LeaveCriticalSection(CRITICAL_SECTION* pcs) { pthread_mutex_unlock(&pcs->mtx); }

void DeleteCriticalSection(CRITICAL_SECTION* pcs) { pthread_mutex_destroy(&pcs->mtx); }

DWORD GetModuleFileNameA(HMODULE, char* pszPath, DWORD nSize)
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
