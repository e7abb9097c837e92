// The Windows side of the host's threads and processes: a thread is never
// cancelled at a point inside a call, and there is no fork().
#include "../LogClass/Platform.h"

int QwHoldCancel(void) { return 0; }

void QwRestoreCancel(int nState) { (void)nState; }

void QwOnFork(void (*pfnPrepare)(void), void (*pfnParent)(void), void (*pfnChild)(void))
{
    (void)pfnPrepare;
    (void)pfnParent;
    (void)pfnChild;
}
