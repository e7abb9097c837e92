// The Linux benchmarks on Google Benchmark: the library against spdlog, glog
// and the floor of write(2), side by side in one run.
//   qw_bench [benchmark flags]      run the cases
//   qw_bench --qw_check             check every writer's bytes against the library's
//   qw_bench --qw_count=W N [SIZE]  write N entries (or N dumps of SIZE bytes) with writer W and exit (for callgrind)
//   qw_bench --qw_threads [--rounds=N] [--round_ms=M] [--smoke] [--only=TEXT]
//                                   1, 2 and 4 threads on one object against as many on one file (ThreadCases.h)
#include "BenchFile.h"
#include "Cases.h"
#include "Payload.h"
#include "Peers.h"
#include "ThreadCases.h"

#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char* s_pszArgv0 = "qw_bench";
const long long REWIND_BYTES = 32LL << 20;  // files are emptied past this, so they stay small

// The library, the floor and the peers.
std::vector<QW_WRITER> AllWriters()
{
    std::vector<QW_WRITER> writers = BenchPortableWriters();
    writers.push_back({ "spdlog", [] { return MakeSpdlog(); }, true, true, true, false });
    writers.push_back({ "glog", [] { return MakeGlog(s_pszArgv0); }, true, false, true, false });
    return writers;
}

// Runs op once per iteration on a fresh subject, emptying its file now and then.
void RunCase(benchmark::State& state, const QW_MAKER& fnMake, const std::function<void(CBenchSubject&)>& op)
{
    std::unique_ptr<CBenchSubject> pSubject = fnMake();
    if (!pSubject) {
        state.SkipWithError("writer could not be set up");
        return;
    }
    long long nBytes = BenchBytesOfOne(*pSubject, [&] { op(*pSubject); });
    long long nRewind = nBytes > 0 ? REWIND_BYTES / nBytes + 1 : 1 << 20;
    long long nLeft = nRewind;
    for (auto _ : state) {
        op(*pSubject);
        if (--nLeft == 0) {
            state.PauseTiming();
            BenchTruncate(pSubject->Path());
            nLeft = nRewind;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes"] = (double)nBytes;
}

// Two (or more) threads writing entries on one shared subject.
void RunThreadsCase(benchmark::State& state, const QW_MAKER& fnMake)
{
    static std::unique_ptr<CBenchSubject> s_pShared;
    if (state.thread_index() == 0)
        s_pShared = fnMake();  // the loop starts only when every thread has reached it
    for (auto _ : state) {
        if (!s_pShared) {
            state.SkipWithError("writer could not be set up");
            break;
        }
        s_pShared->Entry();
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0)
        s_pShared.reset();  // every thread has left the loop
}

// Registers the entry, dump and two-thread cases of each writer.
void RegisterCases()
{
    for (const QW_WRITER& writer : AllWriters()) {
        QW_MAKER fnMake = writer.fnMake;
        if (writer.bEntries && writer.strName.find("4n1") == std::string::npos) {
            benchmark::RegisterBenchmark(("Entry/" + writer.strName).c_str(), [fnMake](benchmark::State& state) {
                RunCase(state, fnMake, [](CBenchSubject& subject) { subject.Entry(); });
            })->UseRealTime();
        }
        for (unsigned int nSize : QW_DUMP_SIZES) {
            if (!writer.bDumps)
                break;
            std::string strName = "Dump" + std::to_string(nSize) + "/" + writer.strName;
            benchmark::RegisterBenchmark(strName.c_str(), [fnMake, nSize](benchmark::State& state) {
                RunCase(state, fnMake, [nSize](CBenchSubject& subject) { subject.Dump(BenchDumpData(), nSize); });
            })->UseRealTime();
        }
    }
    for (const QW_WRITER& writer : BenchSyncWriters()) {
        QW_MAKER fnMake = writer.fnMake;
        benchmark::RegisterBenchmark((std::string(QW_SYNC_ENTRY_CASE) + "/" + writer.strName).c_str(),
                                     [fnMake](benchmark::State& state) {
            RunCase(state, fnMake, [](CBenchSubject& subject) { subject.Entry(); });
        })->UseRealTime();
        benchmark::RegisterBenchmark((std::string(QW_SYNC_DUMP_CASE) + "/" + writer.strName).c_str(),
                                     [fnMake](benchmark::State& state) {
            RunCase(state, fnMake, [](CBenchSubject& subject) { subject.Dump(BenchDumpData(), QW_SYNC_DUMP_SIZE); });
        })->UseRealTime();
    }
    for (const QW_WRITER& writer : AllWriters()) {
        if (writer.strName != "quillwork" && writer.strName != "floor_write1" && writer.strName != "spdlog" && writer.strName != "glog")
            continue;
        QW_MAKER fnMake = writer.fnMake;
        benchmark::RegisterBenchmark(("Entry2Threads/" + writer.strName).c_str(), [fnMake](benchmark::State& state) {
            RunThreadsCase(state, fnMake);
        })->Threads(2)->UseRealTime();
    }
}

// --qw_count=W N [SIZE]: N entries, or N dumps of SIZE bytes, with writer W, nothing
// else (set-up cancels between two counts).
int CountEntries(const char* pszWriter, long nEntries, long nDumpSize)
{
    for (const QW_WRITER& writer : AllWriters()) {
        if (writer.strName != pszWriter)
            continue;
        std::unique_ptr<CBenchSubject> pSubject = writer.fnMake();
        if (!pSubject)
            return 3;
        for (long i = 0; i < nEntries; ++i) {
            if (nDumpSize > 0)
                pSubject->Dump(BenchDumpData(), (unsigned int)nDumpSize);
            else
                pSubject->Entry();
        }
        return 0;
    }
    fprintf(stderr, "no writer named %s\n", pszWriter);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    s_pszArgv0 = argv[0];
    if (argc >= 2 && strcmp(argv[1], "--qw_check") == 0)
        return BenchCheckBytes(AllWriters()) + BenchCheckBytes(BenchSyncWriters()) == 0 ? 0 : 1;
    if (argc >= 2 && strcmp(argv[1], "--qw_threads") == 0)
        return BenchRunThreadCases(BenchThreadOptions(argc, argv), "Linux: threads on one object, against write(2)");
    if (argc >= 3 && strncmp(argv[1], "--qw_count=", 11) == 0)
        return CountEntries(argv[1] + 11, atol(argv[2]), argc >= 4 ? atol(argv[3]) : 0);
    if (BenchPayload().strEntry.empty()) {
        fprintf(stderr, "the library wrote no entry: no floor to compare with\n");
        return 1;
    }
    RegisterCases();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
