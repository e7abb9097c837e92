// The Windows lock: a critical section in the lock's storage.
#include "../LogClass/Platform.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(QW_LOCK::abStorage), "QW_LOCK too small for a critical section");
static_assert(alignof(CRITICAL_SECTION) <= 8, "QW_LOCK aligned too loosely for a critical section");

namespace {

// The critical section in pLock's storage.
CRITICAL_SECTION* SectionOf(QW_LOCK* pLock) { return reinterpret_cast<CRITICAL_SECTION*>(pLock->abStorage); }

} // namespace

BOOL QwInitLock(QW_LOCK* pLock, unsigned int nSpin)
{
    return InitializeCriticalSectionAndSpinCount(SectionOf(pLock), nSpin) ? TRUE : FALSE;
}

void QwEnterLock(QW_LOCK* pLock) { EnterCriticalSection(SectionOf(pLock)); }

void QwLeaveLock(QW_LOCK* pLock) { LeaveCriticalSection(SectionOf(pLock)); }

void QwDeleteLock(QW_LOCK* pLock) { DeleteCriticalSection(SectionOf(pLock)); }

BOOL QwGatherAppends(void) { return TRUE; }
