// The POSIX side of the host's threads and processes: cancellation held off
// inside the library's calls, and the handlers around fork().
#include "../LogClass/Platform.h"

#include <pthread.h>

int QwHoldCancel(void)
{
    int nOld = PTHREAD_CANCEL_ENABLE;
    if (pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &nOld) != 0)
        return PTHREAD_CANCEL_ENABLE;
    return nOld;
}

void QwRestoreCancel(int nState)
{
    // Only a state that was enabled is given back: a disabled one stays as it is.
    if (nState == PTHREAD_CANCEL_ENABLE)
        pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, NULL);
}

void QwOnFork(void (*pfnPrepare)(void), void (*pfnParent)(void), void (*pfnChild)(void))
{
    pthread_atfork(pfnPrepare, pfnParent, pfnChild);
}
