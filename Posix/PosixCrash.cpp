// The POSIX crash handler: sigaction for the fatal signals of a fault, on an
// alternate stack, chained to the host's handler. Everything that runs in the
// handler is async-signal-safe: the stack is read by backtrace() (primed when
// the handler is installed, so it allocates nothing later) and placed in its
// modules from /proc/self/maps, read with open and read into fixed buffers.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>

namespace {

struct QW_SIGNAL
{
    int nSignal;
    const char* pszName;
};

const QW_SIGNAL s_signals[] = {
    { SIGSEGV, "SIGSEGV" }, { SIGBUS, "SIGBUS" }, { SIGILL, "SIGILL" },
    { SIGFPE, "SIGFPE" },   { SIGABRT, "SIGABRT" }, { SIGTRAP, "SIGTRAP" },
};
const size_t SIGNAL_COUNT = sizeof(s_signals) / sizeof(s_signals[0]);

// The host's dispositions from before the handler, one per entry of s_signals.
struct sigaction s_previous[SIGNAL_COUNT];
std::atomic<PFN_QWCRASH> s_pfnReport(nullptr);
std::atomic<bool> s_bInstalled(false);

// The alternate stack of the thread that installed the handler. Never freed: a
// thread may still run on it after the handler is gone.
const size_t ALT_STACK_SIZE = 128 * 1024;
alignas(16) char s_abAltStack[ALT_STACK_SIZE];

// The stack and the modules, read on the crash path into fixed memory.
enum { MAX_FRAMES = 64, MAX_MAPPINGS = 1024, NAME_POOL = 65536 };
void* s_apFrames[MAX_FRAMES];
QW_CRASH_FRAME s_frames[MAX_FRAMES];

struct QW_MAPPING
{
    uintptr_t nStart;
    uintptr_t nEnd;
    uintptr_t nBase;      // the module's load address
    size_t nName;         // its file name in s_szNames
    size_t nNameLen;
};
QW_MAPPING s_mappings[MAX_MAPPINGS];
size_t s_nMappings;
char s_szNames[NAME_POOL];
size_t s_nNames;

// The watchdog: should taking an object's lock hang (its state torn by the
// crash), the process still ends by the crash's signal.
std::atomic<int> s_nCrashSignal(0);

// Index in s_signals of nSignal, or SIGNAL_COUNT.
size_t SignalIndex(int nSignal)
{
    for (size_t i = 0; i < SIGNAL_COUNT; ++i)
        if (s_signals[i].nSignal == nSignal)
            return i;
    return SIGNAL_COUNT;
}

// The processor's instruction address of the interrupted context; 0 where the
// platform's context is not known here.
#if defined(__x86_64__) && defined(__linux__)
uintptr_t ContextPc(const void* pContext) { return (uintptr_t)((const ucontext_t*)pContext)->uc_mcontext.gregs[REG_RIP]; }
#elif defined(__i386__) && defined(__linux__)
uintptr_t ContextPc(const void* pContext) { return (uintptr_t)((const ucontext_t*)pContext)->uc_mcontext.gregs[REG_EIP]; }
#elif defined(__aarch64__) && defined(__linux__)
uintptr_t ContextPc(const void* pContext) { return (uintptr_t)((const ucontext_t*)pContext)->uc_mcontext.pc; }
#else
uintptr_t ContextPc(const void*) { return 0; }
#endif

// What si_code says of a fault, or NULL.
const char* Detail(int nSignal, int nCode)
{
    if (nCode <= 0)
        return "sent by a process";
    switch (nSignal) {
    case SIGSEGV:
        return nCode == SEGV_MAPERR ? "address not mapped" : nCode == SEGV_ACCERR ? "access not permitted" : NULL;
    case SIGBUS:
        return nCode == BUS_ADRALN ? "misaligned address" : nCode == BUS_ADRERR ? "no such physical address" : NULL;
    case SIGFPE:
        return nCode == FPE_INTDIV ? "integer division by zero" : nCode == FPE_INTOVF ? "integer overflow" : NULL;
    case SIGILL:
        return nCode == ILL_ILLOPC || nCode == ILL_ILLOPN ? "illegal instruction" : nCode == ILL_PRVOPC ? "privileged opcode" : NULL;
    default:
        return NULL;
    }
}

// Reads a hexadecimal number at *pp, moving past it.
uintptr_t ReadHex(const char*& p, const char* pEnd)
{
    uintptr_t n = 0;
    for (; p < pEnd; ++p) {
        char c = *p;
        int nDigit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (nDigit < 0)
            break;
        n = n * 16 + (uintptr_t)nDigit;
    }
    return n;
}

// Skips the field at p and the blanks after it.
const char* NextField(const char* p, const char* pEnd)
{
    while (p < pEnd && *p != ' ')
        ++p;
    while (p < pEnd && *p == ' ')
        ++p;
    return p;
}

// Takes one line of /proc/self/maps ("start-end perms offset dev inode path"):
// an executable mapping of a file is kept, with its module's load address (the
// start of the module's mapping at offset 0, which comes first).
void TakeMapsLine(const char* p, const char* pEnd, uintptr_t& nLastBase, size_t& nLastName, size_t& nLastLen)
{
    uintptr_t nStart = ReadHex(p, pEnd);
    ++p;
    uintptr_t nEnd = ReadHex(p, pEnd);
    ++p;
    bool bExec = p + 2 < pEnd && p[2] == 'x';
    p = NextField(p, pEnd);
    uintptr_t nOffset = ReadHex(p, pEnd);
    p = NextField(NextField(NextField(p, pEnd), pEnd), pEnd);  // past offset, dev and inode
    if (p >= pEnd || *p != '/')
        return;
    const char* pName = p;
    for (const char* q = p; q < pEnd; ++q)
        if (*q == '/')
            pName = q + 1;
    size_t nLen = (size_t)(pEnd - pName);
    bool bSame = nLastLen == nLen && memcmp(s_szNames + nLastName, pName, nLen) == 0;
    if (!bSame) {
        if (s_nNames + nLen > NAME_POOL)
            return;
        memcpy(s_szNames + s_nNames, pName, nLen);
        nLastName = s_nNames;
        nLastLen = nLen;
        s_nNames += nLen;
        nLastBase = nStart - nOffset;
    }
    if (!bExec || s_nMappings == MAX_MAPPINGS)
        return;
    QW_MAPPING& m = s_mappings[s_nMappings++];
    m.nStart = nStart;
    m.nEnd = nEnd;
    m.nBase = nLastBase;
    m.nName = nLastName;
    m.nNameLen = nLastLen;
}

// Reads the executable mappings of the process into s_mappings.
void ReadMappings()
{
    s_nMappings = 0;
    s_nNames = 0;
    int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char szChunk[4096];
    char szLine[4096 + 1];
    size_t nLine = 0;
    uintptr_t nLastBase = 0;
    size_t nLastName = 0, nLastLen = 0;
    ssize_t nRead;
    while ((nRead = read(fd, szChunk, sizeof(szChunk))) > 0) {
        for (ssize_t i = 0; i < nRead; ++i) {
            if (szChunk[i] != '\n') {
                if (nLine < sizeof(szLine) - 1)
                    szLine[nLine++] = szChunk[i];
                continue;
            }
            TakeMapsLine(szLine, szLine + nLine, nLastBase, nLastName, nLastLen);
            nLine = 0;
        }
    }
    close(fd);
}

// Fills frame with the module of nAddress.
void PlaceFrame(QW_CRASH_FRAME& frame, uintptr_t nAddress)
{
    memset(&frame, 0, sizeof(frame));
    frame.nAddress = nAddress;
    for (size_t i = 0; i < s_nMappings; ++i) {
        const QW_MAPPING& m = s_mappings[i];
        if (nAddress < m.nStart || nAddress >= m.nEnd)
            continue;
        frame.pszModule = s_szNames + m.nName;
        frame.nModuleLen = m.nNameLen;
        frame.nOffset = nAddress - m.nBase;
        return;
    }
}

// Reads the crashed thread's stack into s_frames, from the faulting instruction
// (the handler's own frames left out) on; gives the number of frames.
size_t ReadStack(const void* pContext)
{
    int nFrames = backtrace(s_apFrames, MAX_FRAMES);
    uintptr_t nPc = pContext != NULL ? ContextPc(pContext) : 0;
    int nFirst = 0;
    for (int i = 0; i < nFrames && nPc != 0; ++i)
        if ((uintptr_t)s_apFrames[i] == nPc) {
            nFirst = i;
            break;
        }
    ReadMappings();
    size_t n = 0;
    for (int i = nFirst; i < nFrames; ++i)
        PlaceFrame(s_frames[n++], (uintptr_t)s_apFrames[i]);
    return n;
}

void OnCrash(int nSignal, siginfo_t* pInfo, void* pContext);

// TRUE when act is the handler this file installs.
bool IsOurs(const struct sigaction& act)
{
    return (act.sa_flags & SA_SIGINFO) != 0 && act.sa_sigaction == &OnCrash;
}

// The watchdog's alarm: the crash's signal goes to the process with the
// system's own action, which ends it as the crash would have.
void OnWatchdog(int)
{
    int nSignal = s_nCrashSignal.load();
    struct sigaction dfl;
    memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigaction(nSignal, &dfl, NULL);
    kill(getpid(), nSignal);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, nSignal);
    sigprocmask(SIG_UNBLOCK, &set, NULL);
}

// The alarm and SIGALRM disposition the host had, given back by DisarmWatchdog.
struct sigaction s_alarmBefore;
unsigned int s_nAlarmBefore;

// Arms the watchdog (3 s) for the crash of nSignal.
void ArmWatchdog(int nSignal)
{
    s_nCrashSignal = nSignal;
    struct sigaction act;
    memset(&act, 0, sizeof(act));
    act.sa_handler = &OnWatchdog;
    sigaction(SIGALRM, &act, &s_alarmBefore);
    s_nAlarmBefore = alarm(3);
}

// Gives the host back its SIGALRM disposition and what was left of its alarm,
// for a host handler that lets the process go on.
void DisarmWatchdog()
{
    alarm(0);
    sigaction(SIGALRM, &s_alarmBefore, NULL);
    alarm(s_nAlarmBefore);
}

// Lets the crash go on after the report: the host's disposition comes back; a
// fault the processor raised is raised again by the instruction when the
// handler returns, any other signal is sent again to this thread with the same
// information, to be delivered once the handler has returned.
void GoOn(size_t nIndex, int nSignal, siginfo_t* pInfo)
{
    sigaction(nSignal, &s_previous[nIndex], NULL);
    bool bRefaults = pInfo->si_code > 0 && nSignal != SIGTRAP && nSignal != SIGABRT;
    if (!bRefaults)
        syscall(SYS_rt_tgsigqueueinfo, getpid(), (pid_t)syscall(SYS_gettid), nSignal, pInfo);
}

// One thread at a time reads its stack into the fixed buffers: another that
// crashes meanwhile waits a bounded while (the first one ends the process),
// then goes on unreported. TRUE when the calling thread may report.
std::atomic<bool> s_bInHandler(false);
const unsigned long HANDLER_WAIT_TRIES = 200000000UL;

bool EnterHandler()
{
    for (unsigned long i = 0; i < HANDLER_WAIT_TRIES; ++i) {
        bool bFree = false;
        if (s_bInHandler.compare_exchange_strong(bFree, true))
            return true;
        QwCpuRelax();
    }
    return false;
}

// The handler: the report, then the crash goes on as it would have.
void OnCrash(int nSignal, siginfo_t* pInfo, void* pContext)
{
    int nSavedErrno = errno;
    size_t nIndex = SignalIndex(nSignal);
    if (nIndex == SIGNAL_COUNT)
        return;
    PFN_QWCRASH pfnReport = s_pfnReport.load();
    if (pfnReport != NULL && EnterHandler()) {
        const struct sigaction& prev = s_previous[nIndex];
        bool bHostHandler = (prev.sa_flags & SA_SIGINFO) != 0 ? prev.sa_sigaction != NULL
                                                               : prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN;
        QW_CRASH_FACTS facts;
        memset(&facts, 0, sizeof(facts));
        facts.pszName = s_signals[nIndex].pszName;
        facts.nCode = (unsigned long)nSignal;
        facts.pszDetail = Detail(nSignal, pInfo->si_code);
        facts.bAddress = nSignal != SIGABRT && pInfo->si_code > 0;
        facts.nAddress = (uintptr_t)pInfo->si_addr;
        facts.nThread = (DWORD)syscall(SYS_gettid);
        facts.nFrames = ReadStack(pContext);
        facts.pFrames = s_frames;
        facts.bLock = true;
        // A host handler may let the process go on: the locks are given back for it.
        facts.bHold = !bHostHandler;
        facts.pContext = pContext;
        ArmWatchdog(nSignal);
        pfnReport(facts);
        if (bHostHandler)
            DisarmWatchdog();
        s_bInHandler = false;
    }
    GoOn(nIndex, nSignal, pInfo);
    errno = nSavedErrno;
}

// Gives the calling thread the alternate stack when it has none.
void GiveAltStack()
{
    stack_t now;
    if (sigaltstack(NULL, &now) != 0 || (now.ss_flags & SS_DISABLE) == 0)
        return;
    stack_t ss;
    memset(&ss, 0, sizeof(ss));
    ss.ss_sp = s_abAltStack;
    ss.ss_size = sizeof(s_abAltStack);
    sigaltstack(&ss, NULL);
}

} // namespace

BOOL QwInstallCrashHandler(PFN_QWCRASH pfnReport, PFN_QWRESUME)
{
    if (s_bInstalled.load())
        return TRUE;
    // The first backtrace loads the unwinder and allocates; the crash path's do not.
    void* apPrime[2];
    backtrace(apPrime, 2);
    GiveAltStack();
    s_pfnReport = pfnReport;
    struct sigaction act;
    memset(&act, 0, sizeof(act));
    act.sa_sigaction = &OnCrash;
    act.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigfillset(&act.sa_mask);
    for (size_t i = 0; i < SIGNAL_COUNT; ++i) {
        // SIGALRM stays deliverable for the watchdog.
        sigdelset(&act.sa_mask, SIGALRM);
        if (sigaction(s_signals[i].nSignal, &act, &s_previous[i]) != 0) {
            while (i-- > 0)
                sigaction(s_signals[i].nSignal, &s_previous[i], NULL);
            return FALSE;
        }
    }
    s_bInstalled = true;
    return TRUE;
}

void QwRemoveCrashHandler(void)
{
    if (!s_bInstalled.exchange(false))
        return;
    for (size_t i = 0; i < SIGNAL_COUNT; ++i) {
        struct sigaction now;
        if (sigaction(s_signals[i].nSignal, NULL, &now) == 0 && IsOurs(now))
            sigaction(s_signals[i].nSignal, &s_previous[i], NULL);
    }
}

BOOL QwCrashHandlerActive(void)
{
    for (size_t i = 0; i < SIGNAL_COUNT; ++i) {
        struct sigaction now;
        if (sigaction(s_signals[i].nSignal, NULL, &now) != 0 || !IsOurs(now))
            return FALSE;
    }
    return TRUE;
}

BOOL QwCrashEnterLock(QW_LOCK* pLock)
{
    // Half a second per object, in steps of 1 ms (nanosleep may be called from
    // a signal handler): well within the watchdog's 3 s for a few objects, and
    // far more than any entry holds the lock.
    const struct timespec step = { 0, 1000000 };
    for (int i = 0; i < 500; ++i) {
        if (QwTryEnterLock(pLock))
            return TRUE;
        nanosleep(&step, NULL);
    }
    return FALSE;
}

BOOL QwCrashAppend(FILE* pFile, const char* p, size_t nLen, PFN_QWAPPEND)
{
    // No lock and no memory in a signal handler: the write alone.
    int fd = fileno(pFile);
    while (nLen > 0) {
        ssize_t n = write(fd, p, nLen);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return FALSE;
        p += n;
        nLen -= (size_t)n;
    }
    return TRUE;
}

void QwCrashDump(FILE*, const QW_CRASH_FACTS&) {}
