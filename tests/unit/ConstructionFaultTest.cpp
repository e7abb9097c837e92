// Construction that runs out of memory: every allocation of CreateLogObject
// fails in turn (a countdown in the process's operator new). The factory gives
// NULL or a working object, and nothing stays behind: no descriptor or handle
// (counted here), no memory (the sanitizer build's leak check at exit).
#include "Support.h"

#include <stdlib.h>

#include <atomic>
#include <new>

namespace {

// Allocations left before the one that fails; -1: none fails.
std::atomic<long> s_nAllocsLeft(-1);
std::atomic<bool> s_bFired(false);

void* Allocate(size_t nSize)
{
    long nLeft = s_nAllocsLeft.load();
    if (nLeft == 0 && s_nAllocsLeft.compare_exchange_strong(nLeft, -1)) {
        s_bFired = true;
        throw std::bad_alloc();
    }
    if (nLeft > 0)
        s_nAllocsLeft.fetch_sub(1);
    void* p = malloc(nSize != 0 ? nSize : 1);
    if (p == NULL)
        throw std::bad_alloc();
    return p;
}

} // namespace

void* operator new(size_t nSize) { return Allocate(nSize); }
void* operator new[](size_t nSize) { return Allocate(nSize); }
void* operator new(size_t nSize, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(nSize);
    } catch (...) {
        return NULL;
    }
}
void* operator new[](size_t nSize, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(nSize);
    } catch (...) {
        return NULL;
    }
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

using namespace qwtest;

namespace {

class ConstructionFaultTest : public QwTest {};

} // namespace

TEST_F(ConstructionFaultTest, EachFailedAllocationGivesNullOrAnObjectAndLeaksNothing)
{
    // Every part of construction in play: the console setting, DIR, retention.
    WriteWhole(Host() + SEP + "Quillwork.ini", "[CONSOLE]\nOPEN=1\n[LOG]\nDIR=logs\nKEEPDAYS=2\nKEEPMB=1\n");
    const std::string strOld = Host() + SEP + "logs" + SEP + "2024-04-01";
    ASSERT_TRUE(MakeDir(Host() + SEP + "logs"));
    ASSERT_TRUE(MakeDir(strOld));
    WriteWhole(strOld + SEP + "090000.log", "old");
    { LogPtr warm = NewLog(); }  // first-use allocations of the runtime happen outside the count
    const size_t nHandles = OpenHandles();
    int nNull = 0, nObjects = 0;
    bool bAllPassed = false;
    for (long nFail = 0; nFail < 1000 && !bAllPassed; ++nFail) {
        SCOPED_TRACE(nFail);
        s_bFired = false;
        s_nAllocsLeft = nFail;
        ILogObject* pLog = CreateLogObject(0);
        s_nAllocsLeft = -1;
        bAllPassed = !s_bFired;
        if (pLog == NULL) {
            ++nNull;
        } else {
            ++nObjects;
            EXPECT_EQ(TRUE, pLog->Open("After"));
            pLog->Release();
        }
        EXPECT_TRUE(pLog != NULL || s_bFired) << "NULL without a failed allocation";
        EXPECT_EQ(nHandles, OpenHandles());
    }
    EXPECT_TRUE(bAllPassed) << "construction still allocating after 1000 allocations";
    EXPECT_GE(nNull, 5) << "the string work of construction failed too rarely to prove anything";
    EXPECT_GE(nObjects, 1);
    LogPtr log = NewLog();
    ASSERT_TRUE(log.get() != NULL);
    EXPECT_EQ(TRUE, log->Open("Last"));
}
