// CLogAppend: whole appends and runs of parts, and the cut of a short write's
// tail (see LogAppend.h).
#include "LogAppend.h"

BOOL CLogAppend::Whole(FILE* pFile, const char* p, size_t nLen)
{
    QwBeginAppend();
    size_t nDone = QwWriteOnce(pFile, p, nLen);
    if (nDone == nLen || nDone == 0) {
        QwEndAppend();
        return nDone == nLen ? TRUE : FALSE;
    }
    QwHoldAfterAppend();
    CutTail(pFile, QwWriteEnd(pFile), (long long)nDone);
    QwReleaseAppends();
    return FALSE;
}

BOOL CLogAppend::Run(FILE* pFile, PFN_QWNEXTPART pfnNext, void* pContext)
{
    CRunTail tail = { 0, 0 };
    BOOL bOk = TRUE;
    QwHoldAppends();
    const char* p = NULL;
    for (size_t nLen; bOk && (nLen = pfnNext(pContext, &p)) != 0;) {
        size_t nDone = QwWriteOnce(pFile, p, nLen);
        if (nDone > 0)
            AddToTail(pFile, nDone, tail);
        bOk = nDone == nLen ? TRUE : FALSE;
    }
    if (!bOk)
        CutTail(pFile, tail.nEnd, tail.nOwn);
    QwReleaseAppends();
    return bOk;
}

void CLogAppend::AddToTail(FILE* pFile, size_t nDone, CRunTail& tail)
{
    long long nNow = QwWriteEnd(pFile);
    if (tail.nOwn > 0 && nNow - (long long)nDone == tail.nEnd)
        tail.nOwn += (long long)nDone;
    else
        tail.nOwn = (long long)nDone;
    tail.nEnd = nNow;
}

void CLogAppend::CutTail(FILE* pFile, long long nEnd, long long nOwn)
{
    if (nOwn > 0 && nEnd >= nOwn)
        QwCutFile(pFile, (unsigned long long)(nEnd - nOwn), (unsigned long long)nEnd);
}
