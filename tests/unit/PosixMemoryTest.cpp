// The readability probe on POSIX: it must refuse every range a read would fault
// on (not mapped, no read permission, past the end of a mapped file, wrapping
// the address space) and accept every readable one, pages never touched before
// and ranges across two mappings included.
#include "Support.h"

#include <fcntl.h>
#include <stdint.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace qwtest;

namespace {

class PosixMemoryTest : public QwTest {};

} // namespace

TEST_F(PosixMemoryTest, ProbeRefusesWhatAReadWouldFaultOnAndNothingElse)
{
    const size_t nPage = (size_t)sysconf(_SC_PAGESIZE);
    // Pages: 0 read-write, 1 read-only never touched, 2 no access, 3 write-only, 4 unmapped.
    unsigned char* p = (unsigned char*)mmap(NULL, 5 * nPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_TRUE(p != MAP_FAILED);
    p[0] = 1;
    ASSERT_EQ(0, mprotect(p + nPage, nPage, PROT_READ));
    ASSERT_EQ(0, mprotect(p + 2 * nPage, nPage, PROT_NONE));
    ASSERT_EQ(0, mprotect(p + 3 * nPage, nPage, PROT_WRITE));
    ASSERT_EQ(0, munmap(p + 4 * nPage, nPage));
    // A file of one page mapped over two: the second page would raise SIGBUS.
    std::string strFile = m_strTemp + "/mapped";
    WriteWhole(strFile, std::string(nPage, 'x'));
    int fd = open(strFile.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    unsigned char* pFile = (unsigned char*)mmap(NULL, 2 * nPage, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    ASSERT_TRUE(pFile != MAP_FAILED);

    struct QW_RANGE { const char* pszWhat; const void* p; size_t nSize; BOOL bReadable; };
    const QW_RANGE RANGES[] = {
        { "read-write page", p, nPage, TRUE },
        { "read-only page never touched", p + nPage, 16, TRUE },
        { "across read-write and read-only mappings", p + nPage - 8, 16, TRUE },
        { "no-access page", p + 2 * nPage, 16, FALSE },
        { "running into the no-access page", p + 2 * nPage - 8, 16, FALSE },
        { "write-only page", p + 3 * nPage, 16, FALSE },
        { "unmapped page", p + 4 * nPage, 16, FALSE },
        { "mapped file", pFile, nPage, TRUE },
        { "mapped past the end of its file", pFile + nPage, 16, FALSE },
        { "running past the end of its file", pFile + nPage - 8, 16, FALSE },
        { "wrapping the address space", (const void*)(UINTPTR_MAX - 7), 16, FALSE },
        { "no bytes at a no-access page", p + 2 * nPage, 0, TRUE },
        { "NULL with bytes", NULL, 1, FALSE },
    };
    for (const QW_RANGE& range : RANGES)
        EXPECT_EQ(range.bReadable, QwIsReadable(range.p, (unsigned int)range.nSize)) << range.pszWhat;

    munmap(pFile, 2 * nPage);
    munmap(p, 4 * nPage);
}
