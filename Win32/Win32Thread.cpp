// The Windows side of the host's threads and processes: the object's lock (a
// critical section); a thread is never cancelled at a point inside a call, and
// there is no fork().
#include "../LogClass/Platform.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(QW_LOCK::abStorage), "QW_LOCK too small for a critical section");
static_assert(alignof(CRITICAL_SECTION) <= 8, "QW_LOCK aligned too loosely for a critical section");

namespace {

// Tries on a taken lock before the waiter sleeps, as Windows counts them.
const DWORD LOCK_SPIN_COUNT = 4000;

// The critical section in pLock's storage.
CRITICAL_SECTION* SectionOf(QW_LOCK* pLock) { return reinterpret_cast<CRITICAL_SECTION*>(pLock->abStorage); }

} // namespace

BOOL QwInitLock(QW_LOCK* pLock)
{
    return InitializeCriticalSectionAndSpinCount(SectionOf(pLock), LOCK_SPIN_COUNT) ? TRUE : FALSE;
}

void QwEnterLock(QW_LOCK* pLock) { EnterCriticalSection(SectionOf(pLock)); }

BOOL QwTryEnterLock(QW_LOCK* pLock) { return TryEnterCriticalSection(SectionOf(pLock)) ? TRUE : FALSE; }

void QwLeaveLock(QW_LOCK* pLock) { LeaveCriticalSection(SectionOf(pLock)); }

void QwDeleteLock(QW_LOCK* pLock) { DeleteCriticalSection(SectionOf(pLock)); }

int QwHoldCancel(void) { return 0; }

void QwRestoreCancel(int nState) { (void)nState; }

void QwOnFork(void (*pfnPrepare)(void), void (*pfnParent)(void), void (*pfnChild)(void))
{
    (void)pfnPrepare;
    (void)pfnParent;
    (void)pfnChild;
}
