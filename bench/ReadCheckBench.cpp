// The candidates for a dump's readability check on Linux, side by side in one
// run: what each one answers for memory a read would fault on (and for memory
// it would not), and what one call costs, alone and with two threads checking
// at once. A check may ask the kernel but must not read the host's bytes
// itself, and must refuse every range the library's own read would fault on.
//   qw_readcheck [--rounds=N] [--calls=N]
// Prints two Markdown tables. Touches no file: the mapped file is a memfd.
#include <errno.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22  // Linux 5.14
#endif
#ifndef MADV_GUARD_INSTALL
#define MADV_GUARD_INSTALL 102  // Linux 6.13
#endif

namespace {

const uintptr_t PAGE = 4096;
int s_nDummy;      // the second address of a futex requeue: no waiter ever
int s_afdPipe[2];  // a pipe that lives for the whole run
int s_fdNull;

// Each candidate: TRUE when it finds [p, p + n) readable.
typedef bool (*PFN_CHECK)(const char* p, size_t n);

uintptr_t PageOf(const char* p) { return (uintptr_t)p & ~(PAGE - 1); }

bool BareCall(const char*, size_t) { return syscall(SYS_getppid) > 0; }

bool Populate(const char* p, size_t n)
{
    return madvise((void*)PageOf(p), (uintptr_t)p + n - PageOf(p), MADV_POPULATE_READ) == 0;
}

bool VmReadAll(const char* p, size_t n)
{
    char scratch[4096];
    struct iovec local = { scratch, n }, remote = { (void*)p, n };
    return n <= sizeof(scratch) && process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == (ssize_t)n;
}

bool VmReadPerPage(const char* p, size_t n)
{
    char scratch[64];
    struct iovec local = { scratch, sizeof(scratch) }, remote[64];
    int nPages = 0;
    for (uintptr_t a = (uintptr_t)p; a < (uintptr_t)p + n && nPages < 64; a = PageOf((const char*)a) + PAGE) {
        remote[nPages].iov_base = (void*)a;
        remote[nPages++].iov_len = 1;
    }
    return process_vm_readv(getpid(), &local, 1, remote, (unsigned long)nPages, 0) == nPages;
}

// FUTEX_CMP_REQUEUE of no waiter: the kernel reads one word of each page to
// compare it, and wakes and moves no one whatever it holds.
bool FutexPerPage(const char* p, size_t n)
{
    for (uintptr_t a = (uintptr_t)p & ~(uintptr_t)3; a < (uintptr_t)p + n; a = PageOf((const char*)a) + PAGE) {
        long nResult = syscall(SYS_futex, (void*)a, FUTEX_CMP_REQUEUE | FUTEX_PRIVATE_FLAG, 0, (void*)0, &s_nDummy, 0);
        if (nResult < 0 && errno != EAGAIN)
            return false;
    }
    return true;
}

bool Mincore(const char* p, size_t n)
{
    unsigned char abPages[64];
    return n < 63 * PAGE && mincore((void*)PageOf(p), (uintptr_t)p + n - PageOf(p), abPages) == 0;
}

bool MsyncAsync(const char* p, size_t n)
{
    return msync((void*)PageOf(p), (uintptr_t)p + n - PageOf(p), MS_ASYNC) == 0;
}

bool PipeRoundTrip(const char* p, size_t n)
{
    char scratch[4096];
    return n <= sizeof(scratch) && write(s_afdPipe[1], p, n) == (ssize_t)n && read(s_afdPipe[0], scratch, n) == (ssize_t)n;
}

bool DevNull(const char* p, size_t n) { return write(s_fdNull, p, n) == (ssize_t)n; }

struct QW_CANDIDATE
{
    const char* pszName;
    PFN_CHECK pfn;
};

const QW_CANDIDATE CANDIDATES[] = {
    { "a bare system call (getppid), for scale", BareCall },
    { "madvise MADV_POPULATE_READ (the library's check)", Populate },
    { "process_vm_readv of the range (the library's fallback)", VmReadAll },
    { "process_vm_readv of 1 byte per page", VmReadPerPage },
    { "futex FUTEX_CMP_REQUEUE, 1 word per page", FutexPerPage },
    { "write into a pipe and read back", PipeRoundTrip },
    { "mincore", Mincore },
    { "msync MS_ASYNC", MsyncAsync },
    { "write to /dev/null", DevNull },
};
const size_t CANDIDATE_COUNT = sizeof(CANDIDATES) / sizeof(CANDIDATES[0]);

// Memory of each kind a check must tell apart, made once.
struct QW_KINDS
{
    const char* pszName;
    const char* p;
    bool bReadable;  // what a read would do: no fault (true) or a fault
};

std::vector<QW_KINDS> MakeKinds()
{
    char* pRw = (char*)mmap(NULL, PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    memset(pRw, 1, PAGE);
    char* pRo = (char*)mmap(NULL, PAGE, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    char* pNone = (char*)mmap(NULL, PAGE, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    char* pWo = (char*)mmap(NULL, PAGE, PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    int fd = memfd_create("qw_readcheck", MFD_CLOEXEC);
    (void)!write(fd, "x", 1);
    char* pFile = (char*)mmap(NULL, 2 * PAGE, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    char* pGuard = (char*)mmap(NULL, PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    bool bGuard = madvise(pGuard, PAGE, MADV_GUARD_INSTALL) == 0;
    char* pHole = (char*)mmap(NULL, 3 * PAGE, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    munmap(pHole + PAGE, PAGE);  // a hole between two mapped pages: nothing is mapped there
    std::vector<QW_KINDS> kinds = {
        { "read-write", pRw, true },
        { "read-only, never touched", pRo, true },
        { "PROT_NONE", pNone, false },
        { "not mapped", pHole + PAGE, false },
        { "write-only (x86 reads it without a fault)", pWo, true },
        { "mapped past the end of its file (SIGBUS)", pFile + PAGE, false },
    };
    if (bGuard)
        kinds.push_back({ "guard region (MADV_GUARD_INSTALL)", pGuard, false });
    return kinds;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Nanoseconds per call of pfn on n bytes, nThreads threads calling at once on
// the same buffer: the wall time over the calls of one thread.
double TimeCalls(PFN_CHECK pfn, const char* pBuffer, size_t n, int nThreads, int nCalls)
{
    std::chrono::steady_clock::time_point tStart = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 1; t < nThreads; ++t)
        threads.emplace_back([=]() {
            for (int i = 0; i < nCalls; ++i)
                pfn(pBuffer + (i & 7) * 16, n);
        });
    for (int i = 0; i < nCalls; ++i)
        pfn(pBuffer + (i & 7) * 16, n);
    for (std::thread& th : threads)
        th.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count() * 1e9 / nCalls;
}

} // namespace

int main(int argc, char** argv)
{
    int nRounds = 15, nCalls = 20000;
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--rounds=", 9) == 0)
            nRounds = std::max(1, atoi(argv[i] + 9));
        else if (strncmp(argv[i], "--calls=", 8) == 0)
            nCalls = std::max(1, atoi(argv[i] + 8));
    }
    if (pipe2(s_afdPipe, O_CLOEXEC) != 0 || (s_fdNull = open("/dev/null", O_WRONLY | O_CLOEXEC)) < 0)
        return 1;
    std::vector<QW_KINDS> kinds = MakeKinds();
    printf("### What each candidate finds readable (16 bytes at the start of a page)\n\n| candidate |");
    for (const QW_KINDS& k : kinds)
        printf(" %s |", k.pszName);
    printf(" sound |\n|---|");
    for (size_t i = 0; i <= kinds.size(); ++i)
        printf("---|");
    printf("\n");
    for (const QW_CANDIDATE& c : CANDIDATES) {
        bool bSound = true;
        printf("| %s |", c.pszName);
        for (const QW_KINDS& k : kinds) {
            bool bFound = c.pfn(k.p, 16);
            bSound = bSound && (k.bReadable || !bFound);
            printf(" %s |", bFound ? "readable" : "refused");
        }
        printf(" %s |\n", c.pfn == BareCall ? "-" : bSound ? "yes" : "no");
    }

    char* pBuffer = (char*)mmap(NULL, 4 * PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    memset(pBuffer, 1, 4 * PAGE);
    pBuffer += 8;  // a 4 KiB range then spans two pages, as most do
    const size_t aSizes[] = { 16, 4096 };
    const int aThreads[] = { 1, 2 };
    std::vector<double> times[CANDIDATE_COUNT][4];
    for (int nRound = 0; nRound < nRounds; ++nRound)  // every candidate in every round, in turn
        for (size_t c = 0; c < CANDIDATE_COUNT; ++c)
            for (size_t s = 0; s < 2; ++s)
                for (size_t t = 0; t < 2; ++t)
                    times[c][2 * s + t].push_back(TimeCalls(CANDIDATES[c].pfn, pBuffer, aSizes[s], aThreads[t], nCalls));
    printf("\n### ns per call, median of %d rounds of %d calls (two threads: both checking the same buffer at once)\n\n",
           nRounds, nCalls);
    printf("| candidate | 16 B | 16 B, 2 threads | 4 KiB | 4 KiB, 2 threads |\n|---|---:|---:|---:|---:|\n");
    for (size_t c = 0; c < CANDIDATE_COUNT; ++c)
        printf("| %s | %.0f | %.0f | %.0f | %.0f |\n", CANDIDATES[c].pszName, Median(times[c][0]), Median(times[c][1]),
               Median(times[c][2]), Median(times[c][3]));
    return 0;
}
