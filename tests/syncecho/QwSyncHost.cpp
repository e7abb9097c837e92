// A host for the sync-echo suite: loads the library beside itself and writes
// with whatever Quillwork.ini beside it says.
//   qw_synchost entries <n> <dumps> [text-in-hex]  n entries ("entry <i> <text>"),
//                                                  then <dumps> dumps of 100 bytes
//   qw_synchost threads <threads> <n>               each thread n entries "t<t> n<i>"
//                                                  and a dump after every tenth
//   qw_synchost dump <size>                         one dump of <size> bytes
//   qw_synchost progress <n>                        n entries, printing "<i>" on its
//                                                  own line once each call returned
// The text is given as hex bytes so that code-page text passes the shell unchanged.
#include "QwLoader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// The bytes of a hex text ("41425C").
std::string FromHex(const char* pszHex)
{
    std::string str;
    for (size_t i = 0; pszHex[i] != '\0' && pszHex[i + 1] != '\0'; i += 2) {
        char sz[3] = { pszHex[i], pszHex[i + 1], '\0' };
        str += (char)strtol(sz, NULL, 16);
    }
    return str;
}

void Entries(ILogObject* pLog, int nEntries, int nDumps, const std::string& strText)
{
    unsigned char data[100];
    for (int i = 0; i < (int)sizeof(data); ++i)
        data[i] = (unsigned char)i;
    for (int i = 0; i < nEntries; ++i)
        pLog->WriteLog("entry %d %s", i, strText.c_str());
    for (int i = 0; i < nDumps; ++i)
        pLog->WriteHex(data, sizeof(data), (i & 1) != 0, 1);
}

void Threads(ILogObject* pLog, int nThreads, int nEach)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t)
        threads.emplace_back([pLog, t, nEach]() {
            const unsigned char data[40] = { (unsigned char)t, 1, 2, 3 };
            for (int i = 0; i < nEach; ++i) {
                pLog->WriteLog("t%d n%d", t, i);
                if (i % 10 == 9)
                    pLog->WriteHex(data, sizeof(data), 1, 1);
            }
        });
    for (size_t t = 0; t < threads.size(); ++t)
        threads[t].join();
}

void Progress(ILogObject* pLog, int nEntries)
{
    for (int i = 0; i < nEntries; ++i) {
        pLog->WriteLog("entry %d of a run that is cut", i);
        printf("%d\n", i);
        fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stdout, "usage: qw_synchost entries|threads|progress ...\n");
        return 2;
    }
    PFN_CREATELOGOBJECT pfnCreate = QwLoadFactory();
    ILogObject* pLog = pfnCreate != NULL ? pfnCreate(0) : NULL;
    if (pLog == NULL) {
        printf("no library or no object\n");
        return 3;
    }
    if (!pLog->Open("Sync")) {
        printf("open failed\n");
        pLog->Release();
        return 1;
    }
    const std::string strMode = argv[1];
    int n = atoi(argv[2]);
    if (strMode == "entries")
        Entries(pLog, n, argc > 3 ? atoi(argv[3]) : 0, argc > 4 ? FromHex(argv[4]) : std::string());
    else if (strMode == "threads")
        Threads(pLog, n, argc > 3 ? atoi(argv[3]) : 100);
    else if (strMode == "dump")
        pLog->WriteHex(std::vector<unsigned char>((size_t)n, 0x41).data(), (unsigned int)n, 1, 1);
    else if (strMode == "progress")
        Progress(pLog, n);
    pLog->Release();
    return 0;
}
