// A host for the folders suite: loads the library beside itself (through wide
// calls on Windows, so from a folder of any name), opens a log and writes one
// entry and one dump. Prints "open 1" or "open 0".
//   qw_folderhost [name-in-hex|-] [--exhaust]
// The name is given as hex bytes so that code-page text passes the shell
// unchanged; "-" (or none) opens with a NULL name. --exhaust makes the object
// while the process has no free descriptor, then frees them and opens.
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

} // namespace
#else
#include <dlfcn.h>
#include <fcntl.h>
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

} // namespace

int main(int argc, char** argv)
{
    std::string strName;
    bool bName = argc > 1 && FromHex(argv[1], strName);
    bool bExhaust = argc > 2 && strcmp(argv[2], "--exhaust") == 0;
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
    BOOL bOpen = pLog->Open(bName ? strName.c_str() : NULL);
    printf("open %d\n", bOpen);
    const unsigned char data[20] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0x5C };
    pLog->WriteLog("entry %d from %s", 7, "the folders host");
    pLog->WriteHex(data, sizeof(data), 1, 1);
    pLog->Release();
    return bOpen ? 0 : 1;
}
