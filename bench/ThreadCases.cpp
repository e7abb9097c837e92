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

// What one round of one writer gave: its time, and the bytes its file grew by
// against the bytes its calls handed over.
struct QW_ROUND
{
    double dSeconds;
    long long nGrown;
    long long nHanded;
};

// The bytes one call of the case hands its writer (the library writes the
// same, stamps of one length).
long long BytesPerCall(const QW_THREAD_CASE& c)
{
    const QW_PAYLOAD& payload = BenchPayload();
    return (long long)(c.nDumpSize == 0 ? payload.strEntry.size() : payload.dumps.at(c.nDumpSize).size());
}

// nThreads threads make nOps calls each on subject, timed from the moment all
// of them are ready until the last one is done.
QW_ROUND TimeRound(CBenchSubject& subject, const QW_THREAD_CASE& c, long long nOps)
{
    if (BenchFileSize(subject.Path()) > REWIND_BYTES)
        BenchTruncate(subject.Path());
    const long long nBefore = BenchFileSize(subject.Path());
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
    QW_ROUND round;
    round.dSeconds = std::chrono::duration<double>(QW_CLOCK::now() - tStart).count();
    round.nGrown = BenchFileSize(subject.Path()) - nBefore;
    round.nHanded = nOps * c.nThreads * BytesPerCall(c);
    return round;
}

// Calls per thread for which the floor takes about dRoundMs.
long long Calibrate(CBenchSubject& floor, const QW_THREAD_CASE& c, double dRoundMs)
{
    long long nOps = 100;
    for (;;) {
        double dMs = TimeRound(floor, c, nOps).dSeconds * 1000.0;
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

// The rounds of one writer in one case.
struct QW_WRITER_ROUNDS
{
    std::vector<double> times;  // ns per call
    long long nGrown = 0;
    long long nHanded = 0;

    void Add(const QW_ROUND& round, double dCalls)
    {
        times.push_back(round.dSeconds * 1e9 / dCalls);
        nGrown += round.nGrown;
        nHanded += round.nHanded;
    }
    // The share of the bytes handed over that the file holds: "100%" only when
    // it holds them all (a loss never rounds up to it).
    std::string Kept() const
    {
        if (nGrown == nHanded)
            return "100%";
        char sz[32];
        double dPercent = nHanded == 0 ? 0.0 : 100.0 * (double)nGrown / (double)nHanded;
        snprintf(sz, sizeof(sz), "%.1f%%", dPercent > 99.9 && dPercent < 100.0 ? 99.9 : dPercent);
        return sz;
    }
};

// The ratios of floor time over library time, round by round, sorted.
std::vector<double> SortedRatios(const QW_WRITER_ROUNDS& library, const QW_WRITER_ROUNDS& floor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < library.times.size(); ++i)
        ratios.push_back(floor.times[i] / library.times[i]);
    std::sort(ratios.begin(), ratios.end());
    return ratios;
}

// Runs one case in rounds (each round runs the library, the floor and the floor
// under a lock, starting with another of them each time) and prints its row;
// false when a writer could not be set up.
bool RunCase(const QW_THREAD_CASE& c, const QW_THREAD_OPTIONS& options)
{
    std::unique_ptr<CBenchSubject> subjects[3] = { MakeQuillwork(), MakeFloor(QW_FLOOR_ONE_WRITE),
                                                   MakeFloor(QW_FLOOR_ONE_LOCKED) };
    if (!subjects[0] || !subjects[1] || !subjects[2]) {
        printf("| %s | could not be set up | | | | | | | | |\n", CaseTitle(c).c_str());
        return false;
    }
    long long nOps = options.bSmoke ? 10 : Calibrate(*subjects[1], c, options.dRoundMs);
    QW_WRITER_ROUNDS rounds[3];
    int nRounds = options.bSmoke ? 1 : options.nRounds;
    const double dCalls = (double)nOps * c.nThreads;
    for (int nRound = 0; nRound < nRounds; ++nRound)
        for (int i = 0; i < 3; ++i) {
            int nWriter = (nRound + i) % 3;
            rounds[nWriter].Add(TimeRound(*subjects[nWriter], c, nOps), dCalls);
        }
    std::vector<double> sorted = SortedRatios(rounds[0], rounds[1]);
    std::vector<double> locked = SortedRatios(rounds[0], rounds[2]);
    double dBest = *std::min_element(rounds[1].times.begin(), rounds[1].times.end())
                   / *std::min_element(rounds[0].times.begin(), rounds[0].times.end());
    printf("| %s | %s | %s | %.2f | %.2f | %.2f-%.2f | %s | %.2f | %s | %s | %d x %lld |\n",
           CaseTitle(c).c_str(), Time(Median(rounds[0].times)).c_str(), Time(Median(rounds[1].times)).c_str(),
           Median(sorted), dBest, sorted.front(), sorted.back(), Time(Median(rounds[2].times)).c_str(),
           Median(locked), rounds[0].Kept().c_str(), rounds[1].Kept().c_str(), nRounds, nOps * c.nThreads);
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
    printf("| case | quillwork time/call | %s | throughput × floor | best rounds | range "
           "| floor under a lock | × floor under a lock | bytes kept: quillwork | floor | rounds x calls |\n",
           strFloor.c_str());
    printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
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
