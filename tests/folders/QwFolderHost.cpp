// A host for the folders suite: loads the library beside itself (through wide
// calls on Windows, so from a folder of any name), opens a log and writes one
// entry and one dump. Prints "open 1" or "open 0".
//   qw_folderhost [name-in-hex|-] [--exhaust | --wait FILE | --hold FILE | --secure]
// The name is given as hex bytes so that code-page text passes the shell
// unchanged; "-" (or none) opens with a NULL name. --exhaust makes the object
// while the process has no free descriptor, then frees them and opens.
// --wait makes the object, prints "made", and opens once FILE exists; --hold
// opens and writes, prints "held", and writes the entry and dump again once
// FILE exists (at most a minute each). --secure prints "secure 0" or "secure 1"
// (AT_SECURE: a setuid or setgid process).
#include "Quillwork.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

namespace {

PFN_CREATELOGOBJECT LoadFactory()
{
    std::wstring strPath(32768, L'\0');
    DWORD nLen = GetModuleFileNameW(NULL, &strPath[0], (DWORD)strPath.size());
    strPath.resize(nLen);
    strPath = strPath.substr(0, strPath.find_last_of(L'\\')) + L"\\Quillwork.dll";
    HMODULE hLib = LoadLibraryW(strPath.c_str());
    return hLib == NULL ? NULL : (PFN_CREATELOGOBJECT)(void*)GetProcAddress(hLib, "CreateLogObject");
}

std::vector<int> TakeAllDescriptors() { return std::vector<int>(); }
void GiveBack(const std::vector<int>&) {}
bool FileExists(const char* pszPath) { return GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES; }
void Nap() { Sleep(50); }
int Secure() { return 0; }

} // namespace
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <unistd.h>

namespace {

PFN_CREATELOGOBJECT LoadFactory()
{
    std::string strPath(65536, '\0');
    ssize_t n = readlink("/proc/self/exe", &strPath[0], strPath.size());
    strPath.resize(n > 0 ? (size_t)n : 0);
    strPath = strPath.substr(0, strPath.find_last_of('/')) + "/libquillwork.so";
    void* hLib = dlopen(strPath.c_str(), RTLD_NOW);
    return hLib == NULL ? NULL : (PFN_CREATELOGOBJECT)dlsym(hLib, "CreateLogObject");
}

// Opens /dev/null until the process has no descriptor left.
std::vector<int> TakeAllDescriptors()
{
    std::vector<int> fds;
    fds.reserve(1 << 20);
    for (int fd = open("/dev/null", O_RDONLY); fd >= 0; fd = open("/dev/null", O_RDONLY))
        fds.push_back(fd);
    return fds;
}

void GiveBack(const std::vector<int>& fds)
{
    for (size_t i = 0; i < fds.size(); ++i)
        close(fds[i]);
}

bool FileExists(const char* pszPath) { return access(pszPath, F_OK) == 0; }
void Nap() { usleep(50000); }
int Secure() { return (int)getauxval(AT_SECURE); }

} // namespace
#endif

namespace {

// The bytes of a hex text ("41425C"); "-" gives no name.
bool FromHex(const char* pszHex, std::string& strOut)
{
    if (strcmp(pszHex, "-") == 0)
        return false;
    for (size_t i = 0; pszHex[i] != '\0' && pszHex[i + 1] != '\0'; i += 2) {
        char sz[3] = { pszHex[i], pszHex[i + 1], '\0' };
        strOut += (char)strtol(sz, NULL, 16);
    }
    return true;
}

// Waits until pszPath exists, at most a minute.
void WaitFor(const char* pszPath)
{
    for (int i = 0; i < 1200 && !FileExists(pszPath); ++i)
        Nap();
}

} // namespace

int main(int argc, char** argv)
{
    std::string strName;
    bool bName = argc > 1 && FromHex(argv[1], strName);
    const char* pszOption = argc > 2 ? argv[2] : "";
    const char* pszFile = argc > 3 ? argv[3] : "";
    bool bExhaust = strcmp(pszOption, "--exhaust") == 0;
    if (strcmp(pszOption, "--secure") == 0)
        printf("secure %d\n", Secure());
    PFN_CREATELOGOBJECT pfnCreate = LoadFactory();
    if (pfnCreate == NULL) {
        printf("no library\n");
        return 2;
    }
    std::vector<int> fds;
    if (bExhaust)
        fds = TakeAllDescriptors();
    ILogObject* pLog = pfnCreate(0);
    GiveBack(fds);
    if (bExhaust)
        printf("descriptors taken %u\n", (unsigned)fds.size());
    if (pLog == NULL) {
        printf("no object\n");
        return 3;
    }
    if (strcmp(pszOption, "--wait") == 0) {
        printf("made\n");
        fflush(stdout);
        WaitFor(pszFile);
    }
    BOOL bOpen = pLog->Open(bName ? strName.c_str() : NULL);
    printf("open %d\n", bOpen);
    const unsigned char data[20] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0x5C };
    bool bHold = strcmp(pszOption, "--hold") == 0;
    for (int nRound = 0; nRound < (bHold ? 2 : 1); ++nRound) {
        if (nRound == 1) {
            printf("held\n");
            fflush(stdout);
            WaitFor(pszFile);
        }
        pLog->WriteLog("entry %d from %s", 7, "the folders host");
        pLog->WriteHex(data, sizeof(data), 1, 1);
    }
    pLog->Release();
    return bOpen ? 0 : 1;
}
