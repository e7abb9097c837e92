// What a short write leaves in the file: CLogAppend cuts its own tail off
// again, and never the bytes another writer put between two parts of a run.
// The process's file-size limit (RLIMIT_FSIZE) stops a write part way, as a
// full disk does, with no root and no mount.
#include "Support.h"
#include "LogAppend.h"

#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace qwtest;

namespace {

class PosixAppendCutTest : public QwTest {};

// Holds the process's file-size limit at nLimit bytes, with SIGXFSZ ignored so
// that a write past it comes back short (or fails with EFBIG), until destroyed.
class CSizeLimit
{
public:
    explicit CSizeLimit(rlim_t nLimit)
    {
        struct sigaction ignore;
        memset(&ignore, 0, sizeof(ignore));
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &m_oldAction);
        getrlimit(RLIMIT_FSIZE, &m_old);
        struct rlimit limit = { nLimit, m_old.rlim_max };
        m_bSet = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~CSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        sigaction(SIGXFSZ, &m_oldAction, NULL);
    }
    bool Set() const { return m_bSet; }

private:
    struct rlimit m_old;
    struct sigaction m_oldAction;
    bool m_bSet;
};

// The parts of a run, with another writer's bytes (strOther, through fdOther,
// past the append guard) written just before part nOtherBefore is given.
struct CParts
{
    std::vector<std::string> parts;
    size_t nOtherBefore;
    std::string strOther;
    int fdOther;
    size_t nNext;

    // A PFN_QWNEXTPART.
    static size_t Next(void* pContext, const char** pp)
    {
        CParts& run = *(CParts*)pContext;
        if (run.nNext == run.parts.size())
            return 0;
        if (run.nNext == run.nOtherBefore)
            EXPECT_EQ((ssize_t)run.strOther.size(), write(run.fdOther, run.strOther.data(), run.strOther.size()));
        *pp = run.parts[run.nNext].data();
        return run.parts[run.nNext++].size();
    }
};

std::string Bytes(size_t n, char c) { return std::string(n, c); }

} // namespace

TEST_F(PosixAppendCutTest, AShortWritesTailIsCutBackToTheLastBytesOfAnotherWriter)
{
    const std::string strA = Bytes(10, 'a'), strB = Bytes(10, 'b'), strC = Bytes(10, 'c');
    const std::string strHead = Bytes(10, 'h'), strOther = Bytes(5, 'O');
    const size_t NONE = SIZE_MAX;
    struct
    {
        const char* pszCase;
        size_t nLimit;                    // the file-size limit during the append
        std::vector<std::string> parts;   // one part: a whole append; more: a run
        size_t nOtherBefore;              // the other writer's bytes go before this part
        BOOL bOk;
        std::string strFile;              // the file afterwards
    } cases[] = {
        { "whole, fits", 1000, { Bytes(20, 'a') }, NONE, TRUE, strHead + Bytes(20, 'a') },
        { "whole, cut short", 25, { Bytes(20, 'a') }, NONE, FALSE, strHead },
        { "whole, nothing fits", 10, { Bytes(20, 'a') }, NONE, FALSE, strHead },
        { "run, fits", 1000, { strA, strB, strC }, NONE, TRUE, strHead + strA + strB + strC },
        { "run, first part cut short", 15, { strA, strB }, NONE, FALSE, strHead },
        { "run, last part cut short", 35, { strA, strB, strC }, NONE, FALSE, strHead },
        { "run, last part finds no room", 30, { strA, strB, strC }, NONE, FALSE, strHead },
        { "run, another writer between its parts", 40, { strA, strB, strC }, 1, FALSE, strHead + strA + strOther },
        { "run, another writer, then fits", 1000, { strA, strB }, 1, TRUE, strHead + strA + strOther + strB },
    };
    const std::string strDir = MakeTempDir();
    ASSERT_FALSE(strDir.empty());
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const std::string strPath = strDir + "/cut" + std::to_string(i) + ".log";
        FILE* pFile = QwOpenAppend(strPath.c_str());
        ASSERT_TRUE(pFile != NULL) << cases[i].pszCase;
        ASSERT_EQ(TRUE, CLogAppend::Whole(pFile, strHead.data(), strHead.size()));
        int fdOther = open(strPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ASSERT_LE(0, fdOther);
        CParts run = { cases[i].parts, cases[i].nOtherBefore, strOther, fdOther, 0 };
        BOOL bOk;
        {
            CSizeLimit limit(cases[i].nLimit);
            ASSERT_TRUE(limit.Set());
            if (run.parts.size() == 1)
                bOk = CLogAppend::Whole(pFile, run.parts[0].data(), run.parts[0].size());
            else
                bOk = CLogAppend::Run(pFile, &CParts::Next, &run);
        }
        close(fdOther);
        fclose(pFile);
        EXPECT_EQ(cases[i].bOk, bOk) << cases[i].pszCase;
        EXPECT_EQ(cases[i].strFile, ReadWhole(strPath)) << cases[i].pszCase;
    }
    RemoveTree(strDir);
}
