// The seams of Framework.h and their defaults.
#include "Framework.h"

#include <stdio.h>
#include <string.h>

#include <atomic>
#include <new>

namespace {

void DefaultReport(const char* pszText) { QwDebugOutput(pszText); }

time_t DefaultTime(void) { return QwSystemClock(); }

void DefaultPreciseTime(QW_CLOCK_READING* pNow);

DWORD DefaultModulePath(char* pszPath, DWORD nSize) { return QwExePath(pszPath, nSize); }

void* DefaultAlloc(size_t nSize) { return ::operator new(nSize, std::nothrow); }

const QW_CONSOLE_API s_platformConsole = {
    &QwAllocConsole,   &QwFreeConsole,     &QwStdOutput,         &QwSetConsoleBuffer, &QwSetConsoleWindow,
    &QwSetConsoleColour, &QwConsoleTitle,  &QwWriteConsoleText,  &QwFindConsoleWindow, &QwSystemMenu,
    &QwEnableCloseItem, &QwCloseItemState, &QwConsoleState,      &QwInputMode,        &QwSetInputMode,
    &QwSetControlHandler, &QwOpenConsoleOutput, &QwCloseConsoleOutput, &QwBeginConsoleBatch, &QwEndConsoleBatch,
};

std::atomic<PFN_QWREPORT> s_pfnReport(&DefaultReport);
std::atomic<PFN_QWTIME> s_pfnTime(&DefaultTime);
std::atomic<PFN_QWPRECISETIME> s_pfnPreciseTime(&DefaultPreciseTime);
std::atomic<PFN_QWTHREADID> s_pfnThreadId(&QwSystemThreadId);
std::atomic<PFN_QWMODULEPATH> s_pfnModulePath(&DefaultModulePath);
std::atomic<PFN_QWALLOC> s_pfnAlloc(&DefaultAlloc);
std::atomic<const QW_CONSOLE_API*> s_pConsole(&s_platformConsole);

const QW_OUTPUT_API s_platformOutput = { &QwSyncFile, &QwSyncFolder, &QwEchoText };
std::atomic<const QW_OUTPUT_API*> s_pOutput(&s_platformOutput);

// The system's precise clock; while a test has replaced the seconds clock, its
// seconds with no fraction, so that a fixed clock fixes every stamp.
void DefaultPreciseTime(QW_CLOCK_READING* pNow)
{
    PFN_QWTIME pfnTime = s_pfnTime.load();
    if (pfnTime == &DefaultTime) {
        QwSystemClockPrecise(pNow);
        return;
    }
    pNow->tSeconds = pfnTime();
    pNow->nNanos = 0;
}

// Stores pfn (or fallback when NULL) in slot and returns what was there.
template <typename T>
T Replace(std::atomic<T>& slot, T pfn, T fallback)
{
    return slot.exchange(pfn != NULL ? pfn : fallback);
}

} // namespace

void QwReport(const char* pszText)
{
    if (pszText != NULL)
        s_pfnReport.load()(pszText);
}

void QwAssertFailed(const char* pszFile, int nLine)
{
    char szReport[300] = { 0 };
    snprintf(szReport, sizeof(szReport), "%s(%d) : assertion failed\n", pszFile, nLine);
    QwReport(szReport);
}

time_t QwTime(void) { return s_pfnTime.load()(); }

void QwPreciseTime(QW_CLOCK_READING* pNow) { s_pfnPreciseTime.load()(pNow); }

DWORD QwThreadId(void) { return s_pfnThreadId.load()(); }

void QwFormatNow(char* pszBuf, size_t nBufSize, const char* pszFormat)
{
    time_t tNow = QwTime();
    struct tm tmNow;
    memset(&tmNow, 0, sizeof(tmNow));
    if (!QwLocalTime(&tNow, &tmNow) || strftime(pszBuf, nBufSize, pszFormat, &tmNow) == 0)
        memset(pszBuf, 0, nBufSize);
}

DWORD QwModulePath(char* pszPath, DWORD nSize) { return s_pfnModulePath.load()(pszPath, nSize); }

void* QwAllocObject(size_t nSize) { return s_pfnAlloc.load()(nSize); }

void QwFreeObject(void* p) { ::operator delete(p); }

PFN_QWREPORT QwSetReportSink(PFN_QWREPORT pfn) { return Replace(s_pfnReport, pfn, &DefaultReport); }

PFN_QWTIME QwSetClock(PFN_QWTIME pfn) { return Replace(s_pfnTime, pfn, &DefaultTime); }

PFN_QWPRECISETIME QwSetPreciseClock(PFN_QWPRECISETIME pfn)
{
    return Replace(s_pfnPreciseTime, pfn, &DefaultPreciseTime);
}

PFN_QWTHREADID QwSetThreadId(PFN_QWTHREADID pfn) { return Replace(s_pfnThreadId, pfn, &QwSystemThreadId); }

PFN_QWMODULEPATH QwSetModulePath(PFN_QWMODULEPATH pfn)
{
    return Replace(s_pfnModulePath, pfn, &DefaultModulePath);
}

PFN_QWALLOC QwSetAllocator(PFN_QWALLOC pfn) { return Replace(s_pfnAlloc, pfn, &DefaultAlloc); }

const QW_CONSOLE_API& QwConsole(void) { return *s_pConsole.load(); }

void QwSetConsoleApi(const QW_CONSOLE_API* pApi) { s_pConsole.store(pApi != NULL ? pApi : &s_platformConsole); }

const QW_OUTPUT_API& QwOutput(void) { return *s_pOutput.load(); }

void QwSetOutputApi(const QW_OUTPUT_API* pApi) { s_pOutput.store(pApi != NULL ? pApi : &s_platformOutput); }
