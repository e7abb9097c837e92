// Crash durability: a child writes numbered entries and reports each one on a
// pipe once its call returned; the parent kills it at a random moment. Every
// reported entry must be in the file, whole and in order.
#include "Support.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <random>

namespace qwrel {

int RunCrashChild(const char* pszHost)
{
    UseHost(pszHost);
    ILogObject* pLog = CreateLogObject(0);
    if (pLog == NULL || !pLog->Open("crash"))
        return 2;
    for (int n = 0; n < 5000000; ++n) {
        WriteNumbered(pLog, 0, n);
        printf("%d\n", n);
        fflush(stdout);
    }
    pLog->Release();
    return 0;
}

} // namespace qwrel

using namespace qwrel;

namespace {

class CrashTest : public RelTest {};

// What one killed child left: entries reported, entries found whole, and
// whether the file ends in a partial entry.
struct Round
{
    long nReported;
    long nWhole;
    bool bPartialTail;
    bool bPageCut;  // the partial entry ends the file at a 4 KiB boundary
};

// TRUE when strTail is how entry nNumber begins: a partial last entry and no
// other text.
bool IsStartOfEntry(const std::string& strTail, int nNumber)
{
    std::string strStamp = strTail.size() >= 19 ? strTail.substr(0, 19) : std::string("2000-01-01 00:00:00");
    if (strTail.size() < 19)  // part of a stamp: only its shape can be checked
        return strTail.find_first_not_of("0123456789-: ") == std::string::npos;
    std::string strWhole = NumberedText(0, nNumber, strStamp);
    return strTail.size() < strWhole.size() && strWhole.compare(0, strTail.size(), strTail) == 0;
}

void RunRound(const std::string& strHost, std::mt19937& rng, Round& round)
{
    round = Round();
    ASSERT_TRUE(MakeDir(strHost));
    std::vector<std::string> args;
    args.push_back("--crash-child");
    args.push_back(strHost);
    Child child(args);
    ASSERT_TRUE(child.Started());
    long nKillAfter = (long)(rng() % 300);
    std::string strLine;
    long nLast = -1;
    while (nLast < nKillAfter && child.ReadLine(strLine))
        nLast = strtol(strLine.c_str(), NULL, 10);
    Pause((unsigned)(rng() % 400));
    child.Kill();
    while (child.ReadLine(strLine))  // what it reported before it died
        nLast = strtol(strLine.c_str(), NULL, 10);
    round.nReported = nLast + 1;
    ASSERT_GT(round.nReported, 0) << "the child reported nothing";

    const std::string strFile = ReadWhole(OnlyLogFile(strHost + SEP + "Log"));
    SplitFile split = SplitLog(strFile);
    ASSERT_TRUE(split.bBanner);
    for (size_t i = 0; i < split.entries.size(); ++i) {
        int nThread = -1, nNumber = -1;
        std::string strStamp;
        ASSERT_TRUE(ReadNumbered(split.entries[i], nThread, nNumber, strStamp))
            << "entry " << i << " is broken: " << split.entries[i].substr(0, 200);
        ASSERT_EQ((int)i, nNumber) << "entries out of order";
    }
    round.nWhole = (long)split.entries.size();
    EXPECT_GE(round.nWhole, round.nReported) << "reported entries are missing";
    round.bPartialTail = !split.strTail.empty();
    round.bPageCut = round.bPartialTail && strFile.size() % 4096 == 0;
    EXPECT_TRUE(!round.bPartialTail || IsStartOfEntry(split.strTail, (int)round.nWhole))
        << "the file ends in text that no entry begins with: " << split.strTail.substr(0, 200);
}

} // namespace

TEST_F(CrashTest, EveryReportedEntryIsInTheFileWholeAfterAKill)
{
    const long nRounds = SizeFromEnv("QW_REL_ROUNDS", 200, 1000);
    const unsigned nSeed = (unsigned)SizeFromEnv("QW_REL_SEED", (long)time(NULL), (long)time(NULL));
    std::mt19937 rng(nSeed);
    long nReported = 0, nWhole = 0, nPartial = 0, nPageCut = 0, nDone = 0;
    for (long r = 0; r < nRounds && !HasFailure(); ++r, ++nDone) {
        Round round;
        RunRound(Host() + SEP + "r" + std::to_string(r), rng, round);
        nReported += round.nReported;
        nWhole += round.nWhole;
        nPartial += round.bPartialTail ? 1 : 0;
        nPageCut += round.bPageCut ? 1 : 0;
    }
    Figure("crash: " + std::to_string(nDone) + " rounds (seed " + std::to_string(nSeed) + "), "
           + std::to_string(nReported) + " entries reported, " + std::to_string(nWhole)
           + " whole entries found, reported-but-missing " + (HasFailure() ? "some (see failure)" : "0"));
    Figure("crash: " + std::to_string(nPartial) + " of " + std::to_string(nDone) + " rounds end in a partial entry, "
           + std::to_string(nPageCut) + " of them at a 4 KiB boundary of the file");
    // Each entry reaches the file in one write, so a kill leaves part of one only
    // where the kernel itself stops a write: Linux copies a write page by page and
    // gives up between two pages once a fatal signal is pending.
    EXPECT_EQ(nPageCut, nPartial) << "rounds ending in a partial entry the kernel did not cut";
}
