// The Windows crash handler: an unhandled-exception filter, chained to the one
// the host had. It writes through the log's append-only handle, walks the
// stack from the exception's context, names each frame's module (and the
// nearest export below it), and writes a minidump through dbghelp, loaded only
// at the moment of the crash so the library imports nothing more.
#include "../LogClass/Platform.h"

#include <windows.h>
#include <dbghelp.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

namespace {

struct QW_EXCEPTION_NAME
{
    DWORD nCode;
    const char* pszName;
};

const QW_EXCEPTION_NAME s_names[] = {
    { EXCEPTION_ACCESS_VIOLATION, "EXCEPTION_ACCESS_VIOLATION" },
    { EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED" },
    { EXCEPTION_BREAKPOINT, "EXCEPTION_BREAKPOINT" },
    { EXCEPTION_DATATYPE_MISALIGNMENT, "EXCEPTION_DATATYPE_MISALIGNMENT" },
    { EXCEPTION_FLT_DIVIDE_BY_ZERO, "EXCEPTION_FLT_DIVIDE_BY_ZERO" },
    { EXCEPTION_FLT_INVALID_OPERATION, "EXCEPTION_FLT_INVALID_OPERATION" },
    { EXCEPTION_ILLEGAL_INSTRUCTION, "EXCEPTION_ILLEGAL_INSTRUCTION" },
    { EXCEPTION_IN_PAGE_ERROR, "EXCEPTION_IN_PAGE_ERROR" },
    { EXCEPTION_INT_DIVIDE_BY_ZERO, "EXCEPTION_INT_DIVIDE_BY_ZERO" },
    { EXCEPTION_INT_OVERFLOW, "EXCEPTION_INT_OVERFLOW" },
    { EXCEPTION_PRIV_INSTRUCTION, "EXCEPTION_PRIV_INSTRUCTION" },
    { EXCEPTION_STACK_OVERFLOW, "EXCEPTION_STACK_OVERFLOW" },
    { EXCEPTION_NONCONTINUABLE_EXCEPTION, "EXCEPTION_NONCONTINUABLE_EXCEPTION" },
    { 0xC0000409, "STATUS_STACK_BUFFER_OVERRUN" },
    { 0xC0000374, "STATUS_HEAP_CORRUPTION" },
    { 0xE06D7363, "C++ exception" },
};

std::atomic<PFN_QWCRASH> s_pfnReport(nullptr);
std::atomic<PFN_QWRESUME> s_pfnResume(nullptr);
std::atomic<bool> s_bInstalled(false);
LPTOP_LEVEL_EXCEPTION_FILTER s_pfnPrevious = NULL;

// The stack and the module names, read on the crash path into fixed memory.
enum { MAX_FRAMES = 64, NAME_POOL = 32768 };
void* s_apFrames[MAX_FRAMES];
QW_CRASH_FRAME s_frames[MAX_FRAMES];
char s_szNames[NAME_POOL];
size_t s_nNames;

const char* NameOf(DWORD nCode)
{
    for (size_t i = 0; i < sizeof(s_names) / sizeof(s_names[0]); ++i)
        if (s_names[i].nCode == nCode)
            return s_names[i].pszName;
    return "exception";
}

// What an access violation did: read, write or execute.
const char* Detail(const EXCEPTION_RECORD& rec)
{
    if (rec.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || rec.NumberParameters < 2)
        return NULL;
    ULONG_PTR nKind = rec.ExceptionInformation[0];
    return nKind == 0 ? "reading" : nKind == 1 ? "writing" : nKind == 8 ? "executing" : NULL;
}

// Reads the stack of the exception's context into s_apFrames; gives its length.
#if defined(_M_X64) || defined(__x86_64__)
size_t WalkStack(const CONTEXT& ctxCrash)
{
    static CONTEXT ctx;
    ctx = ctxCrash;
    size_t n = 0;
    while (n < MAX_FRAMES && ctx.Rip != 0) {
        s_apFrames[n++] = (void*)ctx.Rip;
        DWORD64 nBase = 0;
        PRUNTIME_FUNCTION pFunction = RtlLookupFunctionEntry(ctx.Rip, &nBase, NULL);
        if (pFunction == NULL) {
            // A leaf function: its return address is on top of the stack.
            if (ctx.Rsp == 0 || IsBadReadPtr((const void*)ctx.Rsp, sizeof(DWORD64)))
                break;
            ctx.Rip = *(const DWORD64*)ctx.Rsp;
            ctx.Rsp += 8;
            continue;
        }
        PVOID pHandlerData = NULL;
        DWORD64 nFrame = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, nBase, ctx.Rip, pFunction, &ctx, &pHandlerData, &nFrame, NULL);
    }
    return n;
}
#else
size_t WalkStack(const CONTEXT& ctxCrash)
{
    // The faulting instruction, then the frame-pointer chain from it.
    size_t n = 0;
    s_apFrames[n++] = (void*)ctxCrash.Eip;
    const DWORD* pFrame = (const DWORD*)ctxCrash.Ebp;
    while (n < MAX_FRAMES && pFrame != NULL && !IsBadReadPtr(pFrame, 2 * sizeof(DWORD)) && pFrame[1] != 0) {
        s_apFrames[n++] = (void*)pFrame[1];
        const DWORD* pNext = (const DWORD*)pFrame[0];
        if (pNext <= pFrame)
            break;
        pFrame = pNext;
    }
    return n;
}
#endif

// The nearest name the module at hModule exports at or below nAddress, into
// frame; nothing when it exports none there.
void NearestExport(HMODULE hModule, uintptr_t nAddress, QW_CRASH_FRAME& frame)
{
    const BYTE* pBase = (const BYTE*)hModule;
    const IMAGE_DOS_HEADER* pDos = (const IMAGE_DOS_HEADER*)pBase;
    if (pDos->e_magic != IMAGE_DOS_SIGNATURE)
        return;
    const IMAGE_NT_HEADERS* pNt = (const IMAGE_NT_HEADERS*)(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (dir.VirtualAddress == 0 || dir.Size == 0)
        return;
    const IMAGE_EXPORT_DIRECTORY* pExports = (const IMAGE_EXPORT_DIRECTORY*)(pBase + dir.VirtualAddress);
    const DWORD* pFunctions = (const DWORD*)(pBase + pExports->AddressOfFunctions);
    const DWORD* pNames = (const DWORD*)(pBase + pExports->AddressOfNames);
    const WORD* pOrdinals = (const WORD*)(pBase + pExports->AddressOfNameOrdinals);
    uintptr_t nRva = nAddress - (uintptr_t)pBase, nBest = 0;
    const char* pszBest = NULL;
    for (DWORD i = 0; i < pExports->NumberOfNames; ++i) {
        DWORD nFunction = pFunctions[pOrdinals[i]];
        if (nFunction <= nRva && nFunction >= nBest && (nFunction < dir.VirtualAddress || nFunction >= dir.VirtualAddress + dir.Size)) {
            nBest = nFunction;
            pszBest = (const char*)(pBase + pNames[i]);
        }
    }
    if (pszBest == NULL)
        return;
    frame.pszSymbol = pszBest;
    frame.nSymbolLen = strlen(pszBest);
    frame.nSymbolOffset = nRva - nBest;
}

// Fills frame with the module of nAddress: its file name (UTF-8), the offset
// from its load address, the nearest export.
void PlaceFrame(QW_CRASH_FRAME& frame, uintptr_t nAddress)
{
    memset(&frame, 0, sizeof(frame));
    frame.nAddress = nAddress;
    HMODULE hModule = NULL;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCWSTR)nAddress, &hModule))
        return;
    WCHAR szPath[MAX_PATH];
    DWORD nLen = GetModuleFileNameW(hModule, szPath, MAX_PATH);
    if (nLen == 0 || nLen >= MAX_PATH)
        return;
    const WCHAR* pszName = szPath;
    for (DWORD i = 0; i < nLen; ++i)
        if (szPath[i] == L'\\' || szPath[i] == L'/')
            pszName = szPath + i + 1;
    int nName = WideCharToMultiByte(CP_UTF8, 0, pszName, (int)(szPath + nLen - pszName), s_szNames + s_nNames,
                                    (int)(NAME_POOL - s_nNames), NULL, NULL);
    if (nName <= 0)
        return;
    frame.pszModule = s_szNames + s_nNames;
    frame.nModuleLen = (size_t)nName;
    s_nNames += (size_t)nName;
    frame.nOffset = nAddress - (uintptr_t)hModule;
    NearestExport(hModule, nAddress, frame);
}

size_t ReadStack(const CONTEXT& ctx)
{
    s_nNames = 0;
    size_t nFrames = WalkStack(ctx);
    for (size_t i = 0; i < nFrames; ++i)
        PlaceFrame(s_frames[i], (uintptr_t)s_apFrames[i]);
    return nFrames;
}

// One thread at a time reads its stack into the fixed buffers: another that
// crashes meanwhile waits a bounded while, then goes on unreported. TRUE when
// the calling thread may report.
std::atomic<bool> s_bInFilter(false);

bool EnterFilter()
{
    for (int i = 0; i < 5000; ++i) {
        bool bFree = false;
        if (s_bInFilter.compare_exchange_strong(bFree, true))
            return true;
        Sleep(1);
    }
    return false;
}

LONG WINAPI OnException(EXCEPTION_POINTERS* pPointers)
{
    PFN_QWCRASH pfnReport = s_pfnReport.load();
    if (pfnReport != NULL && pPointers != NULL && pPointers->ExceptionRecord != NULL && EnterFilter()) {
        const EXCEPTION_RECORD& rec = *pPointers->ExceptionRecord;
        QW_CRASH_FACTS facts;
        memset(&facts, 0, sizeof(facts));
        facts.pszName = NameOf(rec.ExceptionCode);
        facts.nCode = rec.ExceptionCode;
        facts.pszDetail = Detail(rec);
        facts.bAddress = true;
        facts.nAddress = rec.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && rec.NumberParameters >= 2
                             ? (uintptr_t)rec.ExceptionInformation[1]
                             : (uintptr_t)rec.ExceptionAddress;
        facts.nThread = GetCurrentThreadId();
        facts.nFrames = pPointers->ContextRecord != NULL ? ReadStack(*pPointers->ContextRecord) : 0;
        facts.pFrames = s_frames;
        // The locks stay taken while the system ends the process (which takes
        // a while: Windows Error Reporting, a debugger), so that no new entry
        // follows the crash entry; a host's filter that continues the process
        // gets them back.
        facts.bLock = true;
        facts.bHold = true;
        facts.pContext = pPointers;
        pfnReport(facts);
        s_bInFilter = false;
    }
    LPTOP_LEVEL_EXCEPTION_FILTER pfnPrevious = s_pfnPrevious;
    LONG nResult = pfnPrevious != NULL ? pfnPrevious(pPointers) : EXCEPTION_CONTINUE_SEARCH;
    PFN_QWRESUME pfnResume = s_pfnResume.load();
    if (nResult == EXCEPTION_CONTINUE_EXECUTION && pfnResume != NULL)
        pfnResume();
    return nResult;
}

// Writes "HHMMSS_name.dmp" (the crash's time, the name of the log file hLog
// after its own time, without extension) in the log's folder into szPath.
bool DumpPath(HANDLE hLog, WCHAR* szPath, DWORD nSize)
{
    DWORD nLen = GetFinalPathNameByHandleW(hLog, szPath, nSize, 0);
    if (nLen == 0 || nLen + 16 >= nSize)
        return false;
    DWORD nSep = nLen;
    while (nSep > 0 && szPath[nSep - 1] != L'\\')
        --nSep;
    const WCHAR* pszName = szPath + nSep;
    const WCHAR* pszUnder = wcschr(pszName, L'_');
    WCHAR szTail[MAX_PATH] = L"";
    if (pszUnder != NULL) {
        lstrcpynW(szTail, pszUnder, MAX_PATH);
        WCHAR* pszDot = wcsrchr(szTail, L'.');
        if (pszDot != NULL)
            *pszDot = L'\0';
    }
    SYSTEMTIME st;
    GetLocalTime(&st);
    WCHAR szTime[8];
    wsprintfW(szTime, L"%02u%02u%02u", st.wHour, st.wMinute, st.wSecond);
    if (nSep + 6 + lstrlenW(szTail) + 5 >= nSize)
        return false;
    lstrcpyW(szPath + nSep, szTime);
    lstrcatW(szPath, szTail);
    lstrcatW(szPath, L".dmp");
    return true;
}

typedef BOOL(WINAPI* PFN_MINIDUMPWRITEDUMP)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                            PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

} // namespace

BOOL QwInstallCrashHandler(PFN_QWCRASH pfnReport, PFN_QWRESUME pfnResume)
{
    if (s_bInstalled.load())
        return TRUE;
    s_pfnReport = pfnReport;
    s_pfnResume = pfnResume;
    s_pfnPrevious = SetUnhandledExceptionFilter(&OnException);
    s_bInstalled = true;
    return TRUE;
}

void QwRemoveCrashHandler(void)
{
    if (!s_bInstalled.exchange(false))
        return;
    LPTOP_LEVEL_EXCEPTION_FILTER pfnNow = SetUnhandledExceptionFilter(s_pfnPrevious);
    if (pfnNow != &OnException)
        SetUnhandledExceptionFilter(pfnNow);  // the host's since: it stays
}

BOOL QwCrashHandlerActive(void)
{
    LPTOP_LEVEL_EXCEPTION_FILTER pfnNow = SetUnhandledExceptionFilter(NULL);
    SetUnhandledExceptionFilter(pfnNow);
    return pfnNow == &OnException ? TRUE : FALSE;
}

BOOL QwCrashEnterLock(QW_LOCK* pLock)
{
    // A critical section lets the crashed thread in again where it holds it.
    for (int i = 0; i < 2000; ++i) {
        if (QwTryEnterLock(pLock))
            return TRUE;
        Sleep(1);
    }
    return FALSE;
}

BOOL QwCrashAppend(FILE* pFile, const char* p, size_t nLen, PFN_QWAPPEND pfnGuarded)
{
    // Through the process's append guard, as every other append: a filter runs
    // in the thread's own context, where taking it is safe, and an append of
    // another thread in flight ends before this one starts.
    return pfnGuarded(pFile, p, nLen);
}

void QwCrashDump(FILE* pFile, const QW_CRASH_FACTS& facts)
{
    HANDLE hLog = (HANDLE)_get_osfhandle(_fileno(pFile));
    static WCHAR szPath[32768];
    if (hLog == INVALID_HANDLE_VALUE || facts.pContext == NULL || !DumpPath(hLog, szPath, 32768))
        return;
    HMODULE hDbgHelp = LoadLibraryW(L"dbghelp.dll");
    PFN_MINIDUMPWRITEDUMP pfnWrite =
        hDbgHelp != NULL ? (PFN_MINIDUMPWRITEDUMP)(void*)GetProcAddress(hDbgHelp, "MiniDumpWriteDump") : NULL;
    if (pfnWrite == NULL)
        return;
    HANDLE hDump = CreateFileW(szPath, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hDump == INVALID_HANDLE_VALUE)
        return;
    MINIDUMP_EXCEPTION_INFORMATION info;
    info.ThreadId = GetCurrentThreadId();
    info.ExceptionPointers = (PEXCEPTION_POINTERS)facts.pContext;
    info.ClientPointers = FALSE;
    pfnWrite(GetCurrentProcess(), GetCurrentProcessId(), hDump, MiniDumpNormal, &info, NULL, NULL);
    CloseHandle(hDump);
}
