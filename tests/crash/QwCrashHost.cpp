// A host for the crash suite: loads the library beside itself, opens "Crash",
// writes an entry and dies as its first argument says:
//   null | rodata | abort | div0 | ill | overflow   the fault itself
//   before | after          a null read with the host's own handler installed
//                           before the object opens, or after it
//   badfmt                  WriteLog("%s") of a pointer that cannot be read
//   threads                 4 threads write while a fifth reads a null pointer
//   state                   prints "installed" or "unchanged" after Open, then
//                           "restored" or "kept" after Release; exits 0
#include "QwCrashHost.h"
#include "QwLoader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <thread>
#include <vector>

#define QW_NOINLINE __attribute__((noinline))

// Each way to die is a function of its own, so its frame names it.
extern "C" {
QW_NOINLINE int CrashByNullRead(volatile int* p) { return *p + 1; }
QW_NOINLINE void CrashByReadOnlyWrite() { WriteReadOnly(); }
QW_NOINLINE void CrashByAbort() { abort(); }
QW_NOINLINE int CrashByDivision(volatile int n) { return 100 / n; }
QW_NOINLINE void CrashByIllegal() { __builtin_trap(); }
QW_NOINLINE int CrashByOverflow(volatile int n)
{
    volatile char ab[4096];
    ab[0] = (char)n;
    return CrashByOverflow(n + 1) + ab[0];
}
}

namespace {

volatile int* s_pNull = nullptr;
std::atomic<long> s_nWritten(0);

void Writers(ILogObject* pLog)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([pLog, t]() {
            for (int i = 0;; ++i) {
                pLog->WriteLog("writer %d entry %d of a line long enough to take its time", t, i);
                ++s_nWritten;
            }
        });
    std::thread crasher([]() {
        while (s_nWritten.load() < 4000)
            std::this_thread::yield();
        CrashByNullRead(s_pNull);
    });
    crasher.join();
    for (auto& t : threads)
        t.join();
}

int Die(ILogObject* pLog, const std::string& strMode)
{
    if (strMode == "null" || strMode == "before" || strMode == "after")
        return CrashByNullRead(s_pNull);
    if (strMode == "rodata")
        CrashByReadOnlyWrite();
    else if (strMode == "abort")
        CrashByAbort();
    else if (strMode == "div0")
        return CrashByDivision(0);
    else if (strMode == "ill")
        CrashByIllegal();
    else if (strMode == "overflow")
        return CrashByOverflow(0);
    else if (strMode == "badfmt")
        pLog->WriteLog("bad text %s", (const char*)(uintptr_t)16);
    else if (strMode == "threads")
        Writers(pLog);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        printf("usage: qw_crashhost null|rodata|abort|div0|ill|overflow|before|after|badfmt|threads|state\n");
        return 2;
    }
    const std::string strMode = argv[1];
    if (strMode == "before")
        InstallHostHandler("before", false);
    const std::string strBefore = HandlerState();
    PFN_CREATELOGOBJECT pfnCreate = QwLoadFactory();
    ILogObject* pLog = pfnCreate != NULL ? pfnCreate(0) : NULL;
    if (pLog == NULL || !pLog->Open("Crash")) {
        printf("no library, no object or no file\n");
        return 3;
    }
    pLog->WriteLog("entry before the crash");
    if (strMode == "state") {
        printf("%s\n", HandlerState() == strBefore ? "unchanged" : "installed");
        pLog->Release();
        printf("%s\n", HandlerState() == strBefore ? "restored" : "kept");
        return 0;
    }
    if (strMode == "after")
        InstallHostHandler("after", true);
    fflush(stdout);
    int nResult = Die(pLog, strMode);
    printf("survived %d\n", nResult);
    pLog->Release();
    return 0;
}
