// Cleaning cost over a large log folder: construction, and Open, with KEEPDAYS
// alone (no day old enough) and with KEEPMB (a cap nothing reaches), and how
// long another thread's WriteLog on the same object is held up while Open runs.
// The libraries are loaded by path, so one run measures a library before a
// change side by side with the current one:
//   qw_cleanbench --tree=DIR [--days=1000] [--files=100] [--before=lib.so] [gbench flags]
// The tree is made once (DIR/Log/<day>/HHMMSS_n.log, the days up to
// yesterday); Quillwork.ini beside the program points DIR at it.
#include "Quillwork.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string s_strTree;
std::string s_strIni;
int s_nDays = 1000;
int s_nFiles = 100;

// The day name nBack days before today (UTC).
std::string DayBefore(int nBack)
{
    time_t t = time(NULL) - (time_t)nBack * 86400;
    struct tm tmDay;
    gmtime_r(&t, &tmDay);
    char sz[20];
    strftime(sz, sizeof(sz), "%Y-%m-%d", &tmDay);
    return sz;
}

// Makes the day folders and files once; a marker file says the tree is complete.
bool MakeTree()
{
    std::string strLog = s_strTree + "/Log", strDone = s_strTree + "/complete";
    if (access(strDone.c_str(), F_OK) == 0)
        return true;
    mkdir(s_strTree.c_str(), 0777);
    mkdir(strLog.c_str(), 0777);
    for (int nDay = 1; nDay <= s_nDays; ++nDay) {
        std::string strDay = strLog + "/" + DayBefore(nDay);
        mkdir(strDay.c_str(), 0777);
        for (int n = 0; n < s_nFiles; ++n) {
            char sz[32];
            snprintf(sz, sizeof(sz), "/%06d_n.log", n);
            int fd = open((strDay + sz).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0)
                return false;
            (void)!write(fd, "x", 1);
            close(fd);
        }
    }
    int fd = open(strDone.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    close(fd);
    return fd >= 0;
}

void Configure(const char* pszKeep)
{
    FILE* p = fopen(s_strIni.c_str(), "wb");
    fprintf(p, "[LOG]\nDIR=%s/Log\n%s\n", s_strTree.c_str(), pszKeep);
    fclose(p);
}

struct CLib
{
    const char* pszWhich;
    PFN_CREATELOGOBJECT pfnCreate;
};

// Construction (and with bOpen an Open and Close) of one object per iteration.
void BM_Clean(benchmark::State& state, CLib lib, const char* pszKeep, bool bOpen)
{
    Configure(pszKeep);
    for (auto _ : state) {
        ILogObject* pLog = lib.pfnCreate(0);
        if (bOpen) {
            pLog->Open("bench");
            pLog->Close();
        }
        pLog->Release();
    }
}

// One object written by another thread without pause while this one closes and
// opens it again: the longest WriteLog of the writer, in ms, as a counter.
void BM_WriterHeldUp(benchmark::State& state, CLib lib, const char* pszKeep)
{
    Configure(pszKeep);
    ILogObject* pLog = lib.pfnCreate(0);
    pLog->Open("held");
    std::atomic<bool> bStop(false);
    std::atomic<long long> nMaxNs(0);
    std::atomic<long long> nWrites(0);
    std::thread writer([&]() {
        for (; !bStop.load(); ++nWrites) {
            auto tStart = std::chrono::steady_clock::now();
            pLog->WriteLog("writer %d", 1);
            long long n = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - tStart).count();
            if (n > nMaxNs.load())
                nMaxNs.store(n);
        }
    });
    while (nWrites.load() == 0)
        std::this_thread::yield();
    for (auto _ : state) {
        pLog->Close();
        pLog->Open("held");
        // Without cleaning, as long a busy main thread, so the noise of the
        // machine shows in the same counter.
        auto tUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
        while (pszKeep[0] == '\0' && std::chrono::steady_clock::now() < tUntil)
            ;
    }
    bStop.store(true);
    writer.join();
    pLog->Release();
    state.counters["writer_max_ms"] = (double)nMaxNs.load() / 1e6;
}

void Register(const CLib& lib)
{
    struct { const char* pszCase; const char* pszKeep; } keeps[] = {
        { "nokeep", "" }, { "keepdays", "KEEPDAYS=5000" }, { "keepmb", "KEEPMB=1000000" },
    };
    for (const auto& keep : keeps) {
        std::string strBase = std::string(lib.pszWhich) + "/" + keep.pszCase;
        benchmark::RegisterBenchmark((strBase + "/construct").c_str(), BM_Clean, lib, keep.pszKeep, false)
            ->Unit(benchmark::kMillisecond)->Iterations(5);
        benchmark::RegisterBenchmark((strBase + "/construct_open").c_str(), BM_Clean, lib, keep.pszKeep, true)
            ->Unit(benchmark::kMillisecond)->Iterations(5);
        benchmark::RegisterBenchmark((strBase + "/writer_held_up").c_str(), BM_WriterHeldUp, lib, keep.pszKeep)
            ->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
    }
}

// Loads a copy of the library at strPath (its own name, so two can be loaded).
PFN_CREATELOGOBJECT Load(const std::string& strPath)
{
    void* h = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    return h == NULL ? NULL : (PFN_CREATELOGOBJECT)dlsym(h, "CreateLogObject");
}

std::string ExeFolder()
{
    std::string str(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", &str[0], str.size());
    str.resize(n > 0 ? (size_t)n : 0);
    return str.substr(0, str.rfind('/'));
}

} // namespace

int main(int argc, char** argv)
{
    std::string strBefore;
    std::vector<char*> rest(1, argv[0]);
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--tree=", 7) == 0)
            s_strTree = argv[i] + 7;
        else if (strncmp(argv[i], "--days=", 7) == 0)
            s_nDays = atoi(argv[i] + 7);
        else if (strncmp(argv[i], "--files=", 8) == 0)
            s_nFiles = atoi(argv[i] + 8);
        else if (strncmp(argv[i], "--before=", 9) == 0)
            strBefore = argv[i] + 9;
        else
            rest.push_back(argv[i]);
    }
    if (s_strTree.empty() || !MakeTree()) {
        fprintf(stderr, "qw_cleanbench: --tree=DIR is needed and must be writable\n");
        return 2;
    }
    s_strIni = ExeFolder() + "/Quillwork.ini";
    CLib now = { "now", Load(ExeFolder() + "/libquillwork.so") };
    if (now.pfnCreate == NULL) {
        fprintf(stderr, "qw_cleanbench: no libquillwork.so beside the program\n");
        return 2;
    }
    if (!strBefore.empty()) {
        CLib before = { "before", Load(strBefore) };
        if (before.pfnCreate == NULL) {
            fprintf(stderr, "qw_cleanbench: cannot load %s\n", strBefore.c_str());
            return 2;
        }
        Register(before);
    }
    Register(now);
    int nArgs = (int)rest.size();
    benchmark::Initialize(&nArgs, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    remove(s_strIni.c_str());
    return 0;
}
