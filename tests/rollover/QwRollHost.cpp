// A host for the rollover suite on Linux: loads the shipped library beside
// itself, then walks a script of clock readings and entries. Before each entry
// it writes the reading into the timestamp file that libfaketime reads at every
// clock call (FAKETIME_TIMESTAMP_FILE, FAKETIME_NO_CACHE=1).
//   qw_rollhost <timestamp file> <name> <opening time> [<time> <text>]...
// A text "#n" writes a dump of n bytes; "*n:text" writes the text n times;
// "=n" writes nothing and waits n milliseconds.
// Prints "open 1" or "open 0".
#include "Quillwork.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

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

// Sets the faked clock: the file holds the time libfaketime gives from now on.
bool SetClock(const char* pszFile, const char* pszTime)
{
    FILE* p = fopen(pszFile, "w");
    if (p == NULL)
        return false;
    bool bOk = fprintf(p, "%s\n", pszTime) > 0;
    return fclose(p) == 0 && bOk;
}

void Write(ILogObject* pLog, const char* pszText)
{
    if (pszText[0] == '=') {
        usleep((useconds_t)atol(pszText + 1) * 1000);
    } else if (pszText[0] == '#') {
        std::vector<unsigned char> data((size_t)atol(pszText + 1) + 1, 0x42);
        pLog->WriteHex(&data[0], (unsigned int)data.size() - 1, 1, 1);
    } else if (pszText[0] == '*' && strchr(pszText, ':') != NULL) {
        for (long n = atol(pszText + 1), i = 0; i < n; ++i)
            pLog->WriteLog("%s %ld", strchr(pszText, ':') + 1, i);
    } else {
        pLog->WriteLog("%s", pszText);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc % 2 != 0) {
        fprintf(stderr, "usage: qw_rollhost <timestamp file> <name> <opening time> [<time> <text>]...\n");
        return 2;
    }
    PFN_CREATELOGOBJECT pfnCreate = LoadFactory();
    if (pfnCreate == NULL || !SetClock(argv[1], argv[3]))
        return 1;
    ILogObject* pLog = pfnCreate(0);
    if (pLog == NULL)
        return 1;
    BOOL bOpen = pLog->Open(argv[2]);
    printf("open %d\n", bOpen);
    for (int i = 4; i + 1 < argc; i += 2) {
        if (!SetClock(argv[1], argv[i]))
            return 1;
        Write(pLog, argv[i + 1]);
    }
    pLog->Release();
    return bOpen ? 0 : 1;
}
