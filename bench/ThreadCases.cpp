// Threads on one writer, library against floor, in alternating rounds.
#include "ThreadCases.h"

#include "BenchFile.h"
#include "Cases.h"
#include "Payload.h"
#include "Subjects.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

typedef std::chrono::steady_clock QW_CLOCK;
const long long REWIND_BYTES = 32LL << 20;  // files are emptied between rounds past this

// One case: what each thread does, how many threads.
struct QW_THREAD_CASE
{
    std::string strName;  // "Entry", "Dump16", "Dump4096"
    unsigned int nDumpSize;  // 0 for entries
    int nThreads;
};

void RunOp(CBenchSubject& subject, unsigned int nDumpSize)
{
    if (nDumpSize == 0)
        subject.Entry();
    else
        subject.Dump(BenchDumpData(), nDumpSize);
}

// Seconds for nThreads threads to make nOps calls each on subject, from the
// moment all of them are ready until the last one is done.
double TimeRound(CBenchSubject& subject, const QW_THREAD_CASE& c, long long nOps)
{
    if (BenchFileSize(subject.Path()) > REWIND_BYTES)
        BenchTruncate(subject.Path());
    std::atomic<int> nReady(0);
    std::atomic<bool> bGo(false);
    std::vector<std::thread> threads;
    for (int t = 0; t < c.nThreads; ++t)
        threads.emplace_back([&subject, &c, &nReady, &bGo, nOps]() {
            ++nReady;
            while (!bGo.load())
                std::this_thread::yield();
            for (long long i = 0; i < nOps; ++i)
                RunOp(subject, c.nDumpSize);
        });
    while (nReady.load() < c.nThreads)
        std::this_thread::yield();
    QW_CLOCK::time_point tStart = QW_CLOCK::now();
    bGo = true;
    for (std::thread& th : threads)
        th.join();
    return std::chrono::duration<double>(QW_CLOCK::now() - tStart).count();
}

// Calls per thread for which the floor takes about dRoundMs.
long long Calibrate(CBenchSubject& floor, const QW_THREAD_CASE& c, double dRoundMs)
{
    long long nOps = 100;
    for (;;) {
        double dMs = TimeRound(floor, c, nOps) * 1000.0;
        if (dMs >= dRoundMs / 4 || nOps >= (1LL << 26))
            return std::max(1LL, (long long)((double)nOps * dRoundMs / std::max(dMs, 0.001)));
        nOps *= 4;
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0.0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

std::string Time(double dNs)
{
    char sz[32];
    if (dNs >= 1e4)
        snprintf(sz, sizeof(sz), "%.1f µs", dNs / 1e3);
    else
        snprintf(sz, sizeof(sz), "%.2f µs", dNs / 1e3);
    return sz;
}

std::string CaseTitle(const QW_THREAD_CASE& c)
{
    std::string strWhat = c.nDumpSize == 0 ? "WriteLog entry" : "WriteHex " + std::to_string(c.nDumpSize) + " B";
    return strWhat + ", " + std::to_string(c.nThreads) + (c.nThreads == 1 ? " thread" : " threads");
}

// Runs one case in alternating rounds (library first in odd rounds, floor first
// in even ones) and prints its row; false when a writer could not be set up.
bool RunCase(const QW_THREAD_CASE& c, const QW_THREAD_OPTIONS& options)
{
    std::unique_ptr<CBenchSubject> pLibrary = MakeQuillwork();
    std::unique_ptr<CBenchSubject> pFloor = MakeFloor(QW_FLOOR_ONE_WRITE);
    if (!pLibrary || !pFloor) {
        printf("| %s | could not be set up | | | | |\n", CaseTitle(c).c_str());
        return false;
    }
    long long nOps = options.bSmoke ? 10 : Calibrate(*pFloor, c, options.dRoundMs);
    std::vector<double> library, floor, ratios;
    int nRounds = options.bSmoke ? 1 : options.nRounds;
    for (int nRound = 0; nRound < nRounds; ++nRound) {
        double dLibrary, dFloor;
        if (nRound % 2 == 0) {
            dLibrary = TimeRound(*pLibrary, c, nOps);
            dFloor = TimeRound(*pFloor, c, nOps);
        } else {
            dFloor = TimeRound(*pFloor, c, nOps);
            dLibrary = TimeRound(*pLibrary, c, nOps);
        }
        double dCalls = (double)nOps * c.nThreads;
        library.push_back(dLibrary * 1e9 / dCalls);
        floor.push_back(dFloor * 1e9 / dCalls);
        ratios.push_back(dFloor / dLibrary);
    }
    std::vector<double> sorted = ratios;
    std::sort(sorted.begin(), sorted.end());
    double dBest = *std::min_element(floor.begin(), floor.end()) / *std::min_element(library.begin(), library.end());
    printf("| %s | %s | %s | %.2f | %.2f | %.2f-%.2f | %d x %lld |\n", CaseTitle(c).c_str(), Time(Median(library)).c_str(),
           Time(Median(floor)).c_str(), Median(ratios), dBest, sorted.front(), sorted.back(), nRounds, nOps * c.nThreads);
    fflush(stdout);
    return true;
}

} // namespace

QW_THREAD_OPTIONS BenchThreadOptions(int argc, char** argv)
{
    QW_THREAD_OPTIONS options;
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--rounds=", 9) == 0)
            options.nRounds = std::max(1, atoi(argv[i] + 9));
        else if (strncmp(argv[i], "--round_ms=", 11) == 0)
            options.dRoundMs = atof(argv[i] + 11);
        else if (strcmp(argv[i], "--smoke") == 0)
            options.bSmoke = true;
        else if (strncmp(argv[i], "--only=", 7) == 0)
            options.strOnly = argv[i] + 7;
    }
    return options;
}

int BenchRunThreadCases(const QW_THREAD_OPTIONS& options, const std::string& strTitle)
{
    if (BenchPayload().strEntry.empty()) {
        printf("the library wrote no entry: no floor to compare with\n");
        return 1;
    }
    std::string strFloor = std::string("floor: one ") + BenchWriteCallName() + " per call";
    printf("### %s\n\n", strTitle.c_str());
    printf("| case | quillwork time/call | %s | throughput × floor | best rounds | range | rounds x calls |\n",
           strFloor.c_str());
    printf("|---|---:|---:|---:|---:|---:|---:|\n");
    const unsigned int aSizes[] = { 0, 16, 4096 };
    const int aThreads[] = { 1, 2, 4 };
    int nFailed = 0;
    for (unsigned int nSize : aSizes)
        for (int nThreads : aThreads) {
            QW_THREAD_CASE c = { nSize == 0 ? "Entry" : "Dump" + std::to_string(nSize), nSize, nThreads };
            if (CaseTitle(c).find(options.strOnly) != std::string::npos)
                nFailed += RunCase(c, options) ? 0 : 1;
        }
    return nFailed == 0 ? 0 : 1;
}
