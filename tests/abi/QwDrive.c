/* The calls of the C host: every operation once or more, through the hand-laid
 * table only. Includes no system header, so the layout check can compile it for
 * an MSVC target without an SDK. */
#include "QwLogTable.h"

static const unsigned char s_abData[34] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0x7F, 0x80
};

/* Appends one step to pSteps at *pnCount. */
static void Record(QwStep* pSteps, int* pnCount, const char* pszWhat, long nGot, long nWant)
{
    pSteps[*pnCount].pszWhat = pszWhat;
    pSteps[*pnCount].nGot = nGot;
    pSteps[*pnCount].nWant = nWant;
    ++*pnCount;
}

/* The entries and dumps: several values of each kind the formatter takes. */
static void WriteEntries(QwLogObject* pLog, QwStep* pSteps, int* pnCount)
{
    const QwLogTable* t = pLog->pTable;
    Record(pSteps, pnCount, "WriteLog one value", t->WriteLog(pLog, "%d items", 3), 1);
    Record(pSteps, pnCount, "WriteLog many values",
           t->WriteLog(pLog, "%s=%u hex %x/%X char %c [%5d|%-5d|%05d] long %ld %.3s 100%%",
                       "id", 42u, 255u, 48879u, 'Q', 7, 7, 7, -123456789L, "truncated"), 1);
    Record(pSteps, pnCount, "WriteLog no values", t->WriteLog(pLog, "plain text"), 1);
    Record(pSteps, pnCount, "WriteSilent", t->WriteSilent(pLog, "not recorded %d %s", 1, "x"), 1);
    Record(pSteps, pnCount, "WriteHex hex out", t->WriteHex(pLog, s_abData, 20, 1, 1), 1);
    Record(pSteps, pnCount, "WriteHex decimal in", t->WriteHex(pLog, s_abData, 20, 0, 0), 1);
    Record(pSteps, pnCount, "WriteHex high bytes", t->WriteHex(pLog, s_abData + 16, 18, 1, 1), 1);
    Record(pSteps, pnCount, "WriteHex empty", t->WriteHex(pLog, s_abData, 0, 0, 1), 1);
}

int QwDrive(PFN_QW_CREATE pfnCreate, PFN_QW_HOLD pfnHold, unsigned int nHold, QwStep* pSteps)
{
    int nCount = 0;
    Record(pSteps, &nCount, "CreateLogObject(1) is NULL", pfnCreate(1) == 0 ? 0 : 1, 0);
    Record(pSteps, &nCount, "CreateLogObject(2) is NULL", pfnCreate(2) == 0 ? 0 : 1, 0);
    QwLogObject* pLog = pfnCreate(0);
    Record(pSteps, &nCount, "CreateLogObject(0) gives an object", pLog != 0 ? 1 : 0, 1);
    if (pLog == 0)
        return nCount;
    const QwLogTable* t = pLog->pTable;
    Record(pSteps, &nCount, "ShowConsole on", t->ShowConsole(pLog, 1), 1);
    Record(pSteps, &nCount, "Open", t->Open(pLog, "abi"), 1);
    Record(pSteps, &nCount, "Open again", t->Open(pLog, "abi"), 1);
    WriteEntries(pLog, pSteps, &nCount);
    pfnHold(nHold);
    Record(pSteps, &nCount, "ShowConsole off", t->ShowConsole(pLog, 0), 1);
    Record(pSteps, &nCount, "Close", t->Close(pLog), 1);
    Record(pSteps, &nCount, "WriteLog after Close", t->WriteLog(pLog, "not written %d", 2), 1);
    Record(pSteps, &nCount, "Close again", t->Close(pLog), 1);
    t->Release(pLog);
    Record(pSteps, &nCount, "Release", 0, 0);
    return nCount;
}
