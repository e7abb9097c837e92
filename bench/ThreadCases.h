// Threads on one writer: the library object against the floor (as many
// threads writing the same bytes with one write call each to one append file),
// in alternating rounds of one run. Both harnesses run it (qw_bench and
// qw_winbench, option --qw_threads) and print one Markdown table.
#ifndef QW_THREADCASES_H
#define QW_THREADCASES_H

#include <string>

struct QW_THREAD_OPTIONS
{
    int nRounds = 9;          // rounds of each case; each round runs the library and the floor once
    double dRoundMs = 100.0;  // the floor's time for one round, calibrated before the first
    bool bSmoke = false;      // one short round per case: to see that every case runs
    std::string strOnly;      // runs only the cases whose title holds this text ("" for all)
};

// Parses --rounds=N, --round_ms=M, --smoke and --only=TEXT among argv (others are left).
QW_THREAD_OPTIONS BenchThreadOptions(int argc, char** argv);

// Runs every case (entries, 16-byte and 4 KiB dumps; 1, 2 and 4 threads) and
// prints the table, titled strTitle, to standard output. Each round runs the
// library, the floor and the floor under a lock (one write at a time, as a
// writer must that keeps every byte where the system lets appends of several
// threads land on each other). Per case: the median time per call of the
// library and the floor, the median of the rounds' ratios (floor time over
// library time: above 1 the library writes more per second), the ratio of the
// two fastest rounds (what an idle machine would show), the range of the
// ratios, the same median against the floor under a lock, and the share of the
// bytes handed over that the library's and the floor's files hold. Returns 0
// when every case ran, 1 when a writer could not be set up.
int BenchRunThreadCases(const QW_THREAD_OPTIONS& options, const std::string& strTitle);

#endif
