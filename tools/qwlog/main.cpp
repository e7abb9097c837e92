// qwlog: reads Quillwork log files back as data.
//   qwlog json FILE...            JSON Lines, one object per record
//   qwlog pcap FILE... -o OUT     the dumps as packets, for Wireshark and tshark
//   qwlog cat FILE...             the records in the console mirror's colours
// Every command takes --since, --until, --kind, --dir, --grep, --thread and --encoding; cat and json
// take --follow (--follow=name to follow a file replaced under its name). Exit status: 0 all
// read cleanly, 1 a file was missing, not a log, torn or damaged (the rest is still read and
// written), 2 bad arguments.
#include "CodePages.h"
#include "Commands.h"
#include "Filter.h"
#include "Outputs.h"
#include "Platform.h"
#include "Where.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace qwlog;

namespace {

struct Options
{
    std::vector<std::string> aFiles;
    std::string strSince, strUntil, strDir, strGrep, strThread;
    std::string strKinds;
    std::string strEncoding = "windows-1252";
    std::string strColor = "auto";
    std::string strOut;
    std::string strFollow;  // "", "descriptor" or "name"
};

unsigned long long g_nProblems = 0;

// Prints one problem of a file to standard error and counts it.
void Report(const std::string& strPath, uint64_t nLine, const std::string& strWhat)
{
    ++g_nProblems;
    std::fflush(stdout);
    if (nLine == 0)
        std::fprintf(stderr, "qwlog: %s: %s\n", strPath.c_str(), strWhat.c_str());
    else
        std::fprintf(stderr, "qwlog: %s:%llu: %s\n", strPath.c_str(), (unsigned long long)nLine, strWhat.c_str());
}

void AddCommon(CLI::App* pCmd, Options& opt, bool bFollow)
{
    pCmd->add_option("files", opt.aFiles, "Quillwork log files")->required();
    pCmd->add_option("--since", opt.strSince, "only records at or after this time (YYYY-MM-DD[ HH[:MM[:SS[.fraction]]]])");
    pCmd->add_option("--until", opt.strUntil, "only records at or before this time (a prefix takes its whole span)");
    pCmd->add_option("--kind", opt.strKinds, "only these kinds: open, entry, dump (comma separated)");
    pCmd->add_option("--dir", opt.strDir, "only dumps in this direction: in (<--) or out (-->)");
    pCmd->add_option("--grep", opt.strGrep, "only entries whose text, or dumps whose lowercase hex, match this regular expression");
    pCmd->add_option("--thread", opt.strThread, "only records whose stamp names this thread id ([LOG] THREAD=1)");
    pCmd->add_option("--encoding", opt.strEncoding, "code page of text that is not UTF-8: " + CodePageNames())
        ->capture_default_str();
    if (bFollow)
        pCmd->add_flag("-f{descriptor},--follow{descriptor}", opt.strFollow,
                       "keep reading the file as it grows (one file); --follow=name: follow the name when the file is replaced")
            ->check(CLI::IsMember({"descriptor", "name"}));
}

// The comma-separated items of s; none for an empty s.
std::vector<std::string> SplitCommas(const std::string& s)
{
    std::vector<std::string> aItems;
    size_t nStart = 0;
    while (!s.empty() && nStart <= s.size()) {
        size_t nComma = s.find(',', nStart);
        if (nComma == std::string::npos)
            nComma = s.size();
        aItems.push_back(s.substr(nStart, nComma - nStart));
        nStart = nComma + 1;
    }
    return aItems;
}

bool MakeFilter(const Options& opt, Filter& filter)
{
    std::string strError;
    bool bOk = (opt.strSince.empty() || filter.SetSince(opt.strSince, strError)) &&
               (opt.strUntil.empty() || filter.SetUntil(opt.strUntil, strError)) &&
               filter.SetKinds(SplitCommas(opt.strKinds), strError) && filter.SetDir(opt.strDir, strError) &&
               filter.SetGrep(opt.strGrep, strError) &&
               (opt.strThread.empty() || filter.SetThread(opt.strThread, strError));
    if (!bOk)
        std::fprintf(stderr, "qwlog: %s\n", strError.c_str());
    return bOk;
}

// Writes one record if it passes the filter.
void Pass(const Record& record, const Filter& filter, const CodePage& page, Output& out)
{
    std::string strText = record.kind == Kind::Entry ? ToUtf8(record.strText, page) : std::string();
    if (filter.Accept(record, strText))
        out.Write(record, strText);
}

// The problem reporter the readers take.
void ReportProblem(const std::string& strPath, uint64_t nLine, const std::string& strWhat)
{
    Report(strPath, nLine, strWhat);
}

// Exit 2 when the output names one of the inputs (the same file, by whatever name): checked
// before anything is opened for writing.
bool OutputIsAnInput(const Options& opt)
{
    FileId idOut;
    if (!IdOfPath(opt.strOut, idOut))
        return false;
    for (const std::string& strPath : opt.aFiles) {
        FileId idIn;
        if (IdOfPath(strPath, idIn) && idIn == idOut) {
            std::fprintf(stderr, "qwlog: the output %s is the input %s; nothing written\n", opt.strOut.c_str(),
                         strPath.c_str());
            return true;
        }
    }
    return false;
}

// Says how the pcap run went on standard error.
void PcapSummary(const PcapOutput& out, const std::string& strPath)
{
    std::fprintf(stderr, "qwlog: %llu packets written to %s", out.Packets(), strPath.c_str());
    if (out.Skipped() > 0)
        std::fprintf(stderr, "; %llu empty or incomplete dumps left out", out.Skipped());
    std::fprintf(stderr, "\n");
    const std::vector<std::string>& aCut = out.Cut();
    for (size_t i = 0; i < aCut.size() && i < 10; ++i)
        std::fprintf(stderr, "qwlog: %s: dump longer than %u bytes: the packet holds its first %u, its length kept\n",
                     aCut[i].c_str(), PcapOutput::kSnapLength, PcapOutput::kSnapLength);
    if (aCut.size() > 10)
        std::fprintf(stderr, "qwlog: %llu more dumps cut to %u bytes\n", (unsigned long long)(aCut.size() - 10),
                     PcapOutput::kSnapLength);
}

// Makes the output of the chosen command in pOut, standard output made ready
// first; 0 when it is made, else the exit status to end with.
int MakeOutput(bool bJson, bool bCat, const Options& opt, const CodePage& page, std::unique_ptr<Output>& pOut)
{
    bool bTerminal = PrepareStdout();
    if (bJson) {
        pOut.reset(new JsonOutput(page));
        return 0;
    }
    if (bCat) {
        bool bColour = opt.strColor == "always" || (opt.strColor == "auto" && bTerminal);
        pOut.reset(new CatOutput(page, bColour));
        return 0;
    }
    PcapOutput* pPcapOut = new PcapOutput();
    pOut.reset(pPcapOut);
    std::string strError;
    if (!pPcapOut->Create(opt.strOut, strError)) {
        std::fprintf(stderr, "qwlog: %s\n", strError.c_str());
        return 1;
    }
    return 0;
}

// Carries out the chosen command; returns the exit status.
int Run(bool bJson, bool bCat, const Options& opt)
{
    Filter filter;
    if (!MakeFilter(opt, filter))
        return 2;
    const CodePage* pPage = FindCodePage(opt.strEncoding);
    if (pPage == nullptr) {
        std::fprintf(stderr, "qwlog: unknown encoding '%s'; known: %s\n", opt.strEncoding.c_str(), CodePageNames().c_str());
        return 2;
    }
    bool bFollow = !opt.strFollow.empty();
    if (bFollow && opt.aFiles.size() != 1) {
        std::fprintf(stderr, "qwlog: --follow reads exactly one file\n");
        return 2;
    }
    if (!bJson && !bCat && OutputIsAnInput(opt))
        return 2;
    std::unique_ptr<Output> pOut;
    if (int nStatus = MakeOutput(bJson, bCat, opt, *pPage, pOut))
        return nStatus;
    Output& out = *pOut;
    const CodePage& page = *pPage;
    auto fnRecord = [&](const Record& record) { Pass(record, filter, page, out); };
    if (bFollow)
        return FollowFile(opt.aFiles[0], opt.strFollow == "name", bCat, ReportProblem, fnRecord, [&out]() {
            if (!out.Finish())
                return false;
            SleepMs(200);
            return true;
        });
    MergeFiles(opt.aFiles, bCat, kMaxOpenFiles, ReportProblem, fnRecord);
    if (!out.Finish()) {
        std::fprintf(stderr, "qwlog: the output could not be written in full\n");
        return 1;
    }
    if (!bJson && !bCat)
        PcapSummary(static_cast<PcapOutput&>(out), opt.strOut);
    return g_nProblems == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app("qwlog: reads Quillwork log files back as data");
    app.require_subcommand(1);
    Options opt;
    CLI::App* pJson = app.add_subcommand("json", "one JSON object a line for each record");
    AddCommon(pJson, opt, true);
    CLI::App* pPcap = app.add_subcommand("pcap", "the complete dumps as packets in a pcapng file");
    AddCommon(pPcap, opt, false);
    pPcap->add_option("-o,--output", opt.strOut, "the pcapng file to write")->required();
    CLI::App* pCat = app.add_subcommand("cat", "the records as written, in the console mirror's colours");
    AddCommon(pCat, opt, true);
    pCat->add_option("--color", opt.strColor, "colour: auto (on a terminal), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->capture_default_str();
    std::string strHost;
    CLI::App* pWhere = app.add_subcommand("where", "the settings file, log folder and keys a host gets");
    pWhere->add_option("HOST", strHost, "the host executable, or its folder (default: the current folder)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int nExit = app.exit(e);
        return nExit == 0 ? 0 : 2;
    }
    if (pWhere->parsed())
        return qwlog::Where(strHost);
    opt.aFiles = ExpandWildcards(opt.aFiles);
    return Run(pJson->parsed(), pCat->parsed(), opt);
}
