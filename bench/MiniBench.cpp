// The Windows benchmarks, run under Wine: Google Benchmark is not packaged for
// MinGW, so this small harness runs the same cases with the same names.
// Method: each case is calibrated to a batch of at least --batch_ms, then
// --reps batches of every case run interleaved in a shuffled order (as Google
// Benchmark's random interleaving does); the median batch is the figure.
//   qw_winbench [--reps=N] [--batch_ms=M] [--smoke] [--out=FILE]   run the cases (JSON to FILE)
//   qw_winbench --qw_check                                         byte check, PASS/FAIL lines
//   qw_winbench --list                                             the case names, one a line
//   qw_winbench --qw_threads [--rounds=N] [--round_ms=M] [--smoke] [--only=TEXT] threads on one object (ThreadCases.h)
#include "BenchFile.h"
#include "Cases.h"
#include "Payload.h"
#include "ThreadCases.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

namespace {

typedef std::chrono::steady_clock QW_CLOCK;
const long long REWIND_BYTES = 32LL << 20;

struct QW_OPTIONS
{
    int nReps = 9;
    double dBatchMs = 50.0;
    bool bSmoke = false;
    std::string strOut;
};

// One case: a writer, its operation and the batches measured so far.
struct QW_CASE
{
    std::string strName;
    std::unique_ptr<CBenchSubject> pSubject;
    std::function<void(CBenchSubject&)> op;
    long long nBytes = 0;
    long long nBatch = 1;
    std::vector<double> nsPerOp;
};

// Nanoseconds per operation of one batch of nOps; the file is emptied before, untimed.
double TimeBatch(QW_CASE& c, long long nOps)
{
    if (c.nBytes > 0 && BenchFileSize(c.pSubject->Path()) > REWIND_BYTES)
        BenchTruncate(c.pSubject->Path());
    QW_CLOCK::time_point tStart = QW_CLOCK::now();
    for (long long i = 0; i < nOps; ++i)
        c.op(*c.pSubject);
    std::chrono::duration<double, std::nano> dElapsed = QW_CLOCK::now() - tStart;
    return dElapsed.count() / (double)nOps;
}

// Doubles the batch until it takes at least dBatchMs.
void Calibrate(QW_CASE& c, double dBatchMs)
{
    while (c.nBatch < (1LL << 30)) {
        double dMs = TimeBatch(c, c.nBatch) * (double)c.nBatch / 1e6;
        if (dMs >= dBatchMs)
            break;
        long long nNext = dMs > 0 ? (long long)((double)c.nBatch * dBatchMs * 1.2 / dMs) : c.nBatch * 10;
        c.nBatch = std::max(c.nBatch * 2, std::min(nNext, c.nBatch * 100));
    }
}

// Adds the case strPrefix + the writer's name to cases, with a subject of its
// own; a writer that cannot be set up is reported and left out.
void AddCase(std::vector<QW_CASE>& cases, const QW_WRITER& writer, const std::string& strPrefix,
             const std::function<void(CBenchSubject&)>& op)
{
    QW_CASE c;
    c.strName = strPrefix + writer.strName + "/real_time";
    c.pSubject = writer.fnMake();
    c.op = op;
    if (!c.pSubject) {
        fprintf(stderr, "%s: writer could not be set up\n", c.strName.c_str());
        return;
    }
    c.nBytes = BenchBytesOfOne(*c.pSubject, [&] { c.op(*c.pSubject); });
    cases.push_back(std::move(c));
}

// The entry and dump cases of every writer, named as on Linux.
std::vector<QW_CASE> MakeCases()
{
    std::vector<QW_CASE> cases;
    for (const QW_WRITER& writer : BenchPortableWriters()) {
        std::vector<std::pair<std::string, std::function<void(CBenchSubject&)>>> ops;
        if (writer.bEntries)
            ops.push_back({ "Entry/", [](CBenchSubject& s) { s.Entry(); } });
        for (unsigned int nSize : QW_DUMP_SIZES)
            if (writer.bDumps)
                ops.push_back({ "Dump" + std::to_string(nSize) + "/",
                                [nSize](CBenchSubject& s) { s.Dump(BenchDumpData(), nSize); } });
        for (auto& op : ops)
            AddCase(cases, writer, op.first, op.second);
    }
    for (const QW_WRITER& writer : BenchSyncWriters()) {
        std::pair<std::string, std::function<void(CBenchSubject&)>> ops[] = {
            { std::string(QW_SYNC_ENTRY_CASE) + "/", [](CBenchSubject& s) { s.Entry(); } },
            { std::string(QW_SYNC_DUMP_CASE) + "/", [](CBenchSubject& s) { s.Dump(BenchDumpData(), QW_SYNC_DUMP_SIZE); } },
        };
        for (auto& op : ops)
            AddCase(cases, writer, op.first, op.second);
    }
    return cases;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0.0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

// Coefficient of variation of the batches, as a fraction.
double Cv(const std::vector<double>& values)
{
    if (values.size() < 2)
        return 0.0;
    double dMean = 0, dSq = 0;
    for (double v : values) dMean += v;
    dMean /= (double)values.size();
    for (double v : values) dSq += (v - dMean) * (v - dMean);
    return dMean > 0 ? std::sqrt(dSq / (double)(values.size() - 1)) / dMean : 0.0;
}

// Writes one aggregate row in Google Benchmark's JSON shape.
void WriteRow(FILE* pOut, const QW_CASE& c, const char* pszAggregate, double dValue, bool bLast)
{
    bool bCv = strcmp(pszAggregate, "cv") == 0;
    fprintf(pOut,
            "    {\"name\": \"%s_%s\", \"run_name\": \"%s\", \"run_type\": \"aggregate\", \"aggregate_name\": \"%s\","
            " \"repetitions\": %zu, \"iterations\": %lld, \"real_time\": %.6g, \"cpu_time\": %.6g, \"time_unit\": \"%s\","
            " \"bytes\": %lld}%s\n",
            c.strName.c_str(), pszAggregate, c.strName.c_str(), pszAggregate, c.nsPerOp.size(), c.nBatch, dValue, dValue,
            bCv ? "" : "ns", c.nBytes, bLast ? "" : ",");
}

void WriteJson(FILE* pOut, const std::vector<QW_CASE>& cases, const QW_OPTIONS& options)
{
    fprintf(pOut, "{\n  \"context\": {\"harness\": \"qw_winbench\", \"repetitions\": %d, \"batch_ms\": %g},\n"
                  "  \"benchmarks\": [\n", options.nReps, options.dBatchMs);
    for (size_t i = 0; i < cases.size(); ++i) {
        WriteRow(pOut, cases[i], "median", Median(cases[i].nsPerOp), false);
        WriteRow(pOut, cases[i], "cv", Cv(cases[i].nsPerOp), i + 1 == cases.size());
    }
    fprintf(pOut, "  ]\n}\n");
}

QW_OPTIONS ParseOptions(int argc, char** argv)
{
    QW_OPTIONS options;
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--reps=", 7) == 0)
            options.nReps = std::max(1, atoi(argv[i] + 7));
        else if (strncmp(argv[i], "--batch_ms=", 11) == 0)
            options.dBatchMs = atof(argv[i] + 11);
        else if (strcmp(argv[i], "--smoke") == 0)
            options.bSmoke = true;
        else if (strncmp(argv[i], "--out=", 6) == 0)
            options.strOut = argv[i] + 6;
        else
            fprintf(stderr, "ignored: %s\n", argv[i]);
    }
    if (options.bSmoke)
        options.nReps = 1;
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && strcmp(argv[1], "--qw_check") == 0)
        return BenchCheckBytes(BenchPortableWriters()) + BenchCheckBytes(BenchSyncWriters()) == 0 ? 0 : 1;
    if (argc >= 2 && strcmp(argv[1], "--qw_threads") == 0)
        return BenchRunThreadCases(BenchThreadOptions(argc, argv), "Wine: threads on one object (x64), against WriteFile");
    if (argc >= 2 && strcmp(argv[1], "--list") == 0) {
        for (const QW_CASE& c : MakeCases())
            printf("%s\n", c.strName.c_str());
        return 0;
    }
    QW_OPTIONS options = ParseOptions(argc, argv);
    if (BenchPayload().strEntry.empty()) {
        fprintf(stderr, "the library wrote no entry: no floor to compare with\n");
        return 1;
    }
    std::vector<QW_CASE> cases = MakeCases();
    if (!options.bSmoke)
        for (QW_CASE& c : cases)
            Calibrate(c, options.dBatchMs);
    std::vector<size_t> order(cases.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::mt19937 rng(12345);
    for (int nRep = 0; nRep < options.nReps; ++nRep) {
        std::shuffle(order.begin(), order.end(), rng);
        for (size_t i : order)
            cases[i].nsPerOp.push_back(TimeBatch(cases[i], cases[i].nBatch));
    }
    for (const QW_CASE& c : cases)
        printf("%-40s %12.0f ns  cv %5.1f%%  batch %lld  %lld bytes\n", c.strName.c_str(), Median(c.nsPerOp),
               100 * Cv(c.nsPerOp), c.nBatch, c.nBytes);
    if (!options.strOut.empty()) {
        FILE* pOut = fopen(options.strOut.c_str(), "w");
        if (pOut == NULL)
            return 1;
        WriteJson(pOut, cases, options);
        fclose(pOut);
    }
    return cases.empty() ? 1 : 0;
}
