// Faults on real file systems (Linux, as root): a full disk, a read-only
// remount, the day folder removed under an open file, a plain file named
// "Log", a host folder that cannot be written. Each: no crash, the results
// the library promises, nothing outside the log folder, and the object (or a
// new one, where the folders are fixed at construction) usable once the fault is gone.
#include "Support.h"
#include "LogAppend.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace qwrel;

namespace {

class FaultTest : public RelTest
{
protected:
    void TearDown()
    {
        while (!m_mounts.empty()) {
            umount2(m_mounts.back().c_str(), MNT_DETACH);
            m_mounts.pop_back();
        }
        RelTest::TearDown();
    }
    // Mounts a tmpfs of nKiB on strPath; FALSE (and a skip) when mounting is refused.
    bool MountTmpfs(const std::string& strPath, int nKiB)
    {
        std::string strOptions = "size=" + std::to_string(nKiB) + "k";
        return Mounted(mount("tmpfs", strPath.c_str(), "tmpfs", 0, strOptions.c_str()), strPath);
    }
    // Binds strPath onto itself, read-only.
    bool BindReadOnly(const std::string& strPath)
    {
        if (!Mounted(mount(strPath.c_str(), strPath.c_str(), NULL, MS_BIND, NULL), strPath))
            return false;
        return mount(NULL, strPath.c_str(), NULL, MS_REMOUNT | MS_BIND | MS_RDONLY, NULL) == 0;
    }
    // Remounts the tmpfs at strPath read-only or writable; the error number, 0 on success.
    int Remount(const std::string& strPath, bool bReadOnly)
    {
        return mount(NULL, strPath.c_str(), NULL, MS_REMOUNT | (bReadOnly ? MS_RDONLY : 0), NULL) == 0 ? 0 : errno;
    }
    void Unmount()
    {
        ASSERT_FALSE(m_mounts.empty());
        EXPECT_EQ(0, umount2(m_mounts.back().c_str(), 0)) << strerror(errno);
        m_mounts.pop_back();
    }
    // A new object that the one report of its construction sends to the per-user
    // folder, with "moved" open there and entry 0 written; NULL (and a failure) otherwise.
    ILogObject* OpenInThePerUserFolder()
    {
        ILogObject* pLog = CreateLogObject(0);
        std::vector<std::string> reports = Reports();
        bool bNamed = reports.size() == 1 && reports[0].find(PerUserLog()) != std::string::npos;
        EXPECT_TRUE(bNamed) << (reports.empty() ? "no report" : reports[0]);
        if (pLog == NULL || !bNamed || pLog->Open("moved") != TRUE) {
            ADD_FAILURE() << "no file in the per-user folder";
            if (pLog != NULL)
                pLog->Release();
            return NULL;
        }
        WriteNumbered(pLog, 0, 0);
        return pLog;
    }
    std::string DayNow() const
    {
        std::vector<std::string> days = ListDir(LogRoot());
        return days.size() == 1 ? LogRoot() + SEP + days[0] : "";
    }

private:
    bool Mounted(int nResult, const std::string& strPath)
    {
        if (nResult == 0) {
            m_mounts.push_back(strPath);
            return true;
        }
        printf("SKIP mounting refused here (%s)\n", strerror(errno));
        return false;
    }
    std::vector<std::string> m_mounts;
};

// Checks that strFile is the banner and whole numbered entries with rising
// numbers; gives the numbers, and the count of torn entries in *pTorn.
std::vector<int> WholeEntries(const std::string& strFile, size_t* pTorn = NULL)
{
    SplitFile split = SplitLog(strFile);
    EXPECT_TRUE(split.bBanner);
    EXPECT_EQ("", split.strTail.substr(0, 200)) << "text after the last whole entry";
    std::vector<int> numbers;
    size_t nTorn = 0;
    for (size_t i = 0; i < split.entries.size(); ++i) {
        int nThread = -1, nNumber = -1;
        std::string strStamp;
        if (!ReadNumbered(split.entries[i], nThread, nNumber, strStamp)) {
            if (nTorn++ == 0)
                ADD_FAILURE() << "torn entry " << i << ": " << split.entries[i].substr(0, 200);
            continue;
        }
        EXPECT_TRUE(numbers.empty() || nNumber > numbers.back());
        numbers.push_back(nNumber);
    }
    EXPECT_EQ(0u, nTorn) << "torn entries";
    if (pTorn != NULL)
        *pTorn = nTorn;
    return numbers;
}

// Fills the file system of strPath up to its last byte with a file there.
void FillUp(const std::string& strPath)
{
    int fd = open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(fd, 0);
    char buf[512];
    memset(buf, 'F', sizeof(buf));
    while (write(fd, buf, sizeof(buf)) > 0) {}
    while (write(fd, buf, 1) > 0) {}
    close(fd);
}

} // namespace

TEST_F(FaultTest, FullDiskLosesEntriesWholeAndWritesAgainOnceSpaceIsBack)
{
    if (!MountTmpfs(Host(), 16))
        GTEST_SKIP() << "mounting refused";
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_EQ(TRUE, pLog->Open("full"));
    FillUp(Host() + "/filler");
    for (int n = 0; n < 400; ++n)
        WriteNumbered(pLog, 0, n);  // the disk fills on the way; every call still returns
    EXPECT_EQ(TRUE, pLog->WriteLog("t0 n400"));
    ASSERT_EQ(0, unlink((Host() + "/filler").c_str()));
    for (int n = 500; n < 520; ++n)
        WriteNumbered(pLog, 0, n);
    pLog->Release();
    EXPECT_EQ((std::vector<std::string>{ "Log" }), ListDir(Host()));
    size_t nTorn = 0;
    std::vector<int> numbers = WholeEntries(ReadWhole(TheFile()), &nTorn);
    size_t nBefore = 0, nAfter = 0;
    for (size_t i = 0; i < numbers.size(); ++i)
        ++(numbers[i] < 500 ? nBefore : nAfter);
    EXPECT_EQ(20u, nAfter) << "the entries written once space was back";
    EXPECT_LT(nBefore, 401u) << "the disk never filled";
    Figure("faults: full disk: " + std::to_string(nBefore) + " of 401 entries kept whole before the disk filled, "
           + std::to_string(nTorn) + " torn, " + std::to_string(nAfter) + " of 20 whole once space was back");
}

TEST_F(FaultTest, OpenOnAFullDiskSaysSoWithTheFileAndTheSystemsReason)
{
    if (!MountTmpfs(Host(), 16))
        GTEST_SKIP() << "mounting refused";
    ILogObject* pLog = CreateLogObject(0);
    FillUp(Host() + "/filler");
    ClearReports();
    BOOL bOpen = pLog->Open("full");
    std::vector<std::string> reports = Reports();
    // The name may still be made (the banner then finds no room) or not: either
    // way one trace names the file and the reason.
    ASSERT_EQ(1u, reports.size()) << "open " << bOpen;
    EXPECT_NE(std::string::npos, reports[0].find(" " + Host() + SEP + "Log" + SEP)) << reports[0];
    EXPECT_NE(std::string::npos, reports[0].find(bOpen ? "_full.log, but its banner could not be written (" : "_full.log ("))
        << reports[0];
    EXPECT_NE(std::string::npos, reports[0].find("No space left on device")) << reports[0];
    pLog->Release();
}

// Two writers on one file of a small disk: an object dumps 16 KiB at a time
// while a second writer appends small numbered lines through the library's own
// append (as a second object does), until well after the disk is full. A write
// that falls short may be cut only while the file still ends with it: every
// line the disk took whole stays, and torn text is left only where the other
// writer's bytes followed it, never at the end.
TEST_F(FaultTest, FullDiskWithASharedFileRemovesNoOtherWritersBytes)
{
    if (!MountTmpfs(Host(), 2048))
        GTEST_SKIP() << "mounting refused";
    SetNow(Utc(2030, 1, 2, 3, 4, 5));
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_EQ(TRUE, pLog->Open("shared"));
    std::vector<unsigned char> data(16384);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (unsigned char)(i * 13);
    std::string strPath = TheFile();
    size_t nBanner = ReadWhole(strPath).size();
    pLog->WriteHex(&data[0], (unsigned int)data.size(), TRUE, TRUE);
    const std::string strDump = ReadWhole(strPath).substr(nBanner);  // one dump, as the disk took it whole

    FILE* pOther = QwOpenAppend(strPath.c_str());
    ASSERT_TRUE(pOther != NULL);
    std::atomic<bool> bDumping(true);
    std::atomic<int> nTried(0);
    std::vector<int> accepted;
    std::thread other([&] {
        for (int n = 0; bDumping || n % 1000 != 0; ++n) {
            std::string strLine = "B n" + std::to_string(n) + "\r\n\r\n";
            if (CLogAppend::Whole(pOther, strLine.data(), strLine.size()))
                accepted.push_back(n);
            nTried = n + 1;
        }
    });
    for (int i = 0; i < 60; ++i) {
        // A few lines of the other writer between two dumps, so that they meet at the full disk.
        for (int nSeen = nTried; nTried < nSeen + 3;)
            std::this_thread::yield();
        pLog->WriteHex(&data[0], (unsigned int)data.size(), TRUE, TRUE);  // the disk fills on the way
    }
    bDumping = false;
    other.join();
    fclose(pOther);
    pLog->Release();

    // After the banner and the first dump: whole dumps, whole lines, and torn text
    // (a start of either) that another writer's bytes follow.
    std::string strFile = ReadWhole(strPath).substr(nBanner);
    std::vector<int> found;
    size_t nPos = 0, nWhole = 0, nTorn = 0;
    while (nPos < strFile.size()) {
        int n = strFile.compare(nPos, 3, "B n") == 0 ? atoi(strFile.c_str() + nPos + 3) : -1;
        std::string strLine = "B n" + std::to_string(n) + "\r\n\r\n";
        if (n >= 0 && strFile.compare(nPos, strLine.size(), strLine) == 0) {
            found.push_back(n);
            nPos += strLine.size();
        } else if (strFile.compare(nPos, strDump.size(), strDump) == 0) {
            ++nWhole;
            nPos += strDump.size();
        } else {
            size_t nNext = std::min(strFile.find("B n", nPos + 1), strFile.find("2030-01-02", nPos + 1));
            ASSERT_NE(std::string::npos, nNext) << "torn text at the end of the file, where the end was its writer's";
            const std::string& strWhole = n >= 0 ? strLine : strDump;
            ASSERT_EQ(0, strWhole.compare(0, nNext - nPos, strFile, nPos, nNext - nPos)) << "not a torn start at " << nPos;
            ++nTorn;
            nPos = nNext;
        }
    }
    EXPECT_EQ(accepted, found) << "every line the disk took, once and in order";
    EXPECT_LT(nWhole, 61u) << "the disk never filled";
    Figure("faults: shared file on a full disk: " + std::to_string(nWhole) + " whole dumps, " + std::to_string(accepted.size())
           + " lines of the other writer all kept, " + std::to_string(nTorn) + " torn writes left before another's bytes");
}

TEST_F(FaultTest, ReadOnlyRemountLeavesAnOpenFileWritableAndRefusesNewFiles)
{
    if (!MountTmpfs(Host(), 1024))
        GTEST_SKIP() << "mounting refused";
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_EQ(TRUE, pLog->Open("ro"));
    WriteNumbered(pLog, 0, 0);
    // With a file open for writing the kernel refuses the remount (EBUSY); if
    // it ever takes it, the writes must still return and nothing may break.
    int nBusy = Remount(Host(), true);
    for (int n = 1; n < 10; ++n)
        WriteNumbered(pLog, 0, n);
    if (nBusy == 0)
        ASSERT_EQ(0, Remount(Host(), false));
    pLog->Close();
    std::string strFile = TheFile();
    ASSERT_EQ(0, Remount(Host(), true)) << "no file open: the remount must be taken";
    SetNow(Utc(2030, 1, 2, 3, 4, 5));  // a new name, so the refused Open would make a new file
    EXPECT_EQ(FALSE, pLog->Open("ro"));
    EXPECT_EQ(TRUE, pLog->WriteLog("t0 n10"));
    ASSERT_EQ(0, Remount(Host(), false));
    ASSERT_EQ(TRUE, pLog->Open("ro"));  // the same object, once the fault is gone
    WriteNumbered(pLog, 0, 12);
    pLog->Release();
    std::vector<int> numbers = WholeEntries(ReadWhole(strFile));
    std::vector<int> expected(1, 0);
    for (int n = 1; n < 10 && nBusy != 0; ++n)
        expected.push_back(n);
    EXPECT_EQ(expected, numbers);
    EXPECT_EQ(2u, ListDir(DayNow()).size());
    EXPECT_EQ((std::vector<std::string>{ "Log" }), ListDir(Host()));
    Figure(std::string("faults: read-only remount with a file open: ") + (nBusy ? strerror(nBusy) : "taken"));
}

TEST_F(FaultTest, DayFolderRemovedUnderAnOpenFileIsMadeAgainByTheNextOpen)
{
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_EQ(TRUE, pLog->Open("gone"));
    std::string strDay = DayNow();
    WriteNumbered(pLog, 0, 0);
    RemoveTree(strDay);
    for (int n = 1; n < 10; ++n)
        WriteNumbered(pLog, 0, n);  // into the removed file: they return and go nowhere
    EXPECT_EQ(std::vector<std::string>(), ListDir(LogRoot()));
    pLog->Close();
    ASSERT_EQ(TRUE, pLog->Open("gone"));  // the day fixed at construction, made again
    EXPECT_TRUE(IsDir(strDay));
    WriteNumbered(pLog, 0, 10);
    WriteNumbered(pLog, 0, 11);
    pLog->Release();
    EXPECT_EQ((std::vector<int>{ 10, 11 }), WholeEntries(ReadWhole(TheFile())));
    EXPECT_EQ((std::vector<std::string>{ "Log" }), ListDir(Host()));
}

TEST_F(FaultTest, PlainFileNamedLogSendsFilesToThePerUserFolderUntilItIsAFolder)
{
    WriteWhole(LogRoot(), "not a folder");
    ILogObject* pMoved = OpenInThePerUserFolder();
    ASSERT_TRUE(pMoved != NULL);
    EXPECT_EQ("not a folder", ReadWhole(LogRoot()));
    ASSERT_EQ(0, unlink(LogRoot().c_str()));
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_EQ(TRUE, pLog->Open("fresh"));
    WriteNumbered(pLog, 0, 0);
    pLog->Release();
    EXPECT_EQ(std::vector<int>{ 0 }, WholeEntries(ReadWhole(TheFile())));
    // The first object keeps the folder fixed at its construction.
    WriteNumbered(pMoved, 0, 2);
    pMoved->Release();
    std::string strMoved = TheFile(PerUserLog());
    ASSERT_NE("", strMoved) << "one day folder with one file below the per-user folder";
    EXPECT_EQ((std::vector<int>{ 0, 2 }), WholeEntries(ReadWhole(strMoved)));
    EXPECT_EQ((std::vector<std::string>{ "Log" }), ListDir(Host()));
}

TEST_F(FaultTest, ReadOnlyHostFolderSendsFilesToThePerUserFolderOrNowhere)
{
    if (!BindReadOnly(Host()))
        GTEST_SKIP() << "mounting refused";
    ILogObject* pMoved = OpenInThePerUserFolder();
    ASSERT_TRUE(pMoved != NULL);
    pMoved->Release();
    std::string strMoved = TheFile(PerUserLog());
    ASSERT_NE("", strMoved) << "one day folder with one file below the per-user folder";
    std::string strName = strMoved.substr(strMoved.rfind(SEP) + 1);
    EXPECT_EQ(16u, strName.size()) << strName;
    EXPECT_NE(std::string::npos, strName.find("_moved.log")) << strName;
    EXPECT_EQ(std::vector<int>{ 0 }, WholeEntries(ReadWhole(strMoved)));

    // The per-user folder on the read-only mount too: nothing is made anywhere.
    ClearReports();
    UsePerUserFolder(Host() + SEP + "user");
    ILogObject* pStuck = CreateLogObject(0);
    ASSERT_TRUE(pStuck != NULL);
    std::vector<std::string> reports = Reports();
    ASSERT_EQ(2u, reports.size()) << "the failed folder work is traced, then asserted";
    EXPECT_NE(std::string::npos, reports[0].find("cannot make the log folder " + Host() + SEP + "Log (Read-only file system)"))
        << reports[0];
    EXPECT_NE(std::string::npos, reports[0].find("nor the per-user folder " + Host() + SEP + "user (Read-only file system)"))
        << reports[0];
    EXPECT_EQ(FALSE, pStuck->Open("stuck"));
    EXPECT_EQ(TRUE, pStuck->WriteLog("lost"));
    const unsigned char data[4] = { 1, 2, 3, 4 };
    EXPECT_EQ(TRUE, pStuck->WriteHex(data, 4, TRUE, TRUE));
    EXPECT_EQ(std::vector<std::string>(), ListDir(Host()));
    pStuck->Release();
    Unmount();
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_EQ(TRUE, pLog->Open("after"));
    WriteNumbered(pLog, 0, 0);
    pLog->Release();
    EXPECT_EQ(std::vector<int>{ 0 }, WholeEntries(ReadWhole(TheFile())));
}
