// What a host does to its own threads and files, and what other users plant in
// a shared log folder (Linux, as root): a thread cancelled inside a call, a
// standard error whose reader has gone, a file system that refuses locks, fork
// while another thread writes, links and other users' files at the names the
// library uses, readers that lock a log. Each case runs in a child process with
// a time bound, so a hang or an abort is a failure of its own and not of the
// suite; the child's exit code says what it found.
#include "Support.h"

#include "LogFolder.h"
#include "Platform.h"
#include "Settings.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <signal.h>
#include <stddef.h>
#include <string.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

using namespace qwrel;

namespace {

const uid_t NOBODY = 65534;

// How a child process ended: "exit N", "signal N" or "hung" (killed after the bound).
std::string Ended(int nStatus)
{
    if (WIFEXITED(nStatus))
        return "exit " + std::to_string(WEXITSTATUS(nStatus));
    return WIFSIGNALED(nStatus) ? "signal " + std::to_string(WTERMSIG(nStatus)) : "odd";
}

// Waits for pid at most nSeconds, then kills it: how it ended.
std::string WaitBounded(pid_t pid, int nSeconds)
{
    for (int i = 0; i < nSeconds * 100; ++i) {
        int nStatus = 0;
        if (waitpid(pid, &nStatus, WNOHANG) == pid)
            return Ended(nStatus);
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, NULL, 0);
    return "hung";
}

// Runs body in a child process (its return value the exit code) and tells how
// it ended; a body that has not ended within nSeconds is killed.
std::string InChild(const std::function<int()>& body, int nSeconds = 60)
{
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid < 0 ? "no fork" : WaitBounded(pid, nSeconds);
}

// Runs body as the user nobody in a child process: 0 when it returned 0.
int AsNobody(const std::function<int()>& body)
{
    return InChild([&]() {
        if (setgroups(0, NULL) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0)
            return 90;
        return body();
    }) == "exit 0" ? 0 : 1;
}

// How many times strNeedle occurs in strText.
int Count(const std::string& strText, const std::string& strNeedle)
{
    int n = 0;
    for (size_t i = strText.find(strNeedle); i != std::string::npos; i = strText.find(strNeedle, i + 1))
        ++n;
    return n;
}

// Every file below strFolder (recursively) as one text each, in no order.
std::vector<std::string> FilesBelow(const std::string& strFolder)
{
    std::vector<std::string> all;
    for (const std::string& strName : ListDir(strFolder)) {
        std::string strPath = strFolder + "/" + strName;
        struct stat st;
        if (lstat(strPath.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            std::vector<std::string> below = FilesBelow(strPath);
            all.insert(all.end(), below.begin(), below.end());
        } else {
            all.push_back(strPath);
        }
    }
    return all;
}

// Installs a filter that answers ENOLCK to every file lock the process asks
// for (flock, and fcntl's record and open-file-description locks), as NFS
// without its lock service does. FALSE when it could not be installed.
bool RefuseLocks()
{
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_flock, 8, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fcntl, 0, 8),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[1])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_SETLK, 5, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_SETLKW, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_GETLK, 3, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_OFD_SETLK, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_OFD_SETLKW, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_OFD_GETLK, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOLCK & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog prog = { (unsigned short)(sizeof(filter) / sizeof(filter[0])), filter };
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

class HostileTest : public LogTest
{
protected:
    // Writes Quillwork.ini of the host with the [LOG] lines given.
    void Settings(const std::string& strLines) { WriteWhole(Host() + "/Quillwork.ini", "[LOG]\r\n" + strLines); }
    // Makes the log folder shared, as a DIR for several users would be: 1777,
    // reachable by every user.
    void ShareLogFolder()
    {
        ASSERT_EQ(0, chmod(m_strTemp.c_str(), 0755));
        ASSERT_EQ(0, chmod(Host().c_str(), 0755));
        ASSERT_TRUE(IsDir(LogRoot()) || MakeDir(LogRoot()));
        ASSERT_EQ(0, chmod(LogRoot().c_str(), 01777));
    }
    // TRUE when the user nobody can make names in the shared log folder: not
    // where a folder above it is closed to other users (a checkout in a home
    // of mode 700).
    bool NobodyReachesLogFolder() { return NobodyReaches(LogRoot(), W_OK | X_OK); }
    // TRUE when the user nobody has nMode's access (access(2)) to strPath.
    static bool NobodyReaches(const std::string& strPath, int nMode)
    {
        return AsNobody([&]() { return access(strPath.c_str(), nMode) == 0 ? 0 : 1; }) == 0;
    }
    // A folder outside the log folder, writable by every user.
    std::string Outside()
    {
        std::string strOutside = m_strTemp + "/outside";
        EXPECT_TRUE(IsDir(strOutside) || MakeDir(strOutside));
        EXPECT_EQ(0, chmod(strOutside.c_str(), 01777));
        return strOutside;
    }
    // A library file of nMiB in day folder pszDay, last written ten days before the clock.
    std::string OldFile(const char* pszDay, int nMiB)
    {
        std::string strDay = LogRoot() + "/" + pszDay, strFile = strDay + "/000000_old.log";
        EXPECT_TRUE(IsDir(LogRoot()) || MakeDir(LogRoot()));
        EXPECT_TRUE(MakeDir(strDay));
        WriteWhole(strFile, std::string((size_t)nMiB << 20, 'x'));
        EXPECT_EQ(0, chmod(strFile.c_str(), 0644));
        struct timeval times[2] = { { Utc(2024, 4, 21, 0, 0, 0), 0 }, { Utc(2024, 4, 21, 0, 0, 0), 0 } };
        EXPECT_EQ(0, utimes(strFile.c_str(), times));
        return strFile;
    }
    // The text of the only file in day folder strDay; "<n files>" otherwise.
    std::string DayText(const std::string& strDay) { return OnlyFileText(strDay); }
    // Whether a report of a refused Open names strWhat.
    bool Reported(const std::string& strWhat)
    {
        for (const std::string& strReport : Reports())
            if (strReport.find("cannot open") != std::string::npos && strReport.find(strWhat) != std::string::npos)
                return true;
        return false;
    }
};

// A thread whose cancellation is already asked for when it calls WriteLog: the
// first cancellation point it meets is inside the library (the write of the
// entry, or the open of a roll-over's new file). Then another thread writes a
// 5 MiB dump (more than one write holds, so it takes the process's append
// guard) and two entries. 0 when all of them are in the file whole; 3 when
// the cancelled entry is not there once.
int CancelledWriterThenDump(const std::string& strLogRoot)
{
    ILogObject* pLog = CreateLogObject(0);
    if (pLog == NULL || pLog->Open("cancel") != TRUE)
        return 1;
    SetNow(Utc(2024, 5, 2, 0, 0, 1));  // past midnight: with DAILY the entry moves the object
    std::atomic<bool> bGo(false);
    std::thread writer([&]() {
        while (!bGo.load())
            ;  // no cancellation point here
        pLog->WriteLog("the cancelled thread's entry");
        for (;;)
            pthread_testcancel();
    });
    pthread_cancel(writer.native_handle());
    bGo.store(true);
    writer.join();
    std::vector<unsigned char> dump((size_t)5 << 20, 0x5A);
    pLog->WriteHex(dump.data(), (unsigned int)dump.size(), TRUE, TRUE);
    pLog->WriteLog("after the dump %d", 1);
    pLog->WriteLog("after the dump %d", 2);
    pLog->Release();
    std::string strAll;
    for (const std::string& strFile : FilesBelow(strLogRoot))
        strAll += ReadWhole(strFile);
    if (Count(strAll, "after the dump 1\r\n\r\n") != 1 || Count(strAll, "after the dump 2\r\n\r\n") != 1
        || Count(strAll, "5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A") != 5 * 65536)
        return 2;
    return Count(strAll, "  the cancelled thread's entry\r\n\r\n") == 1 ? 0 : 3;
}

TEST_F(HostileTest, AThreadCancelledInsideACallLeavesTheLibraryWritingForEveryOtherThread)
{
    struct
    {
        const char* pszCase;
        const char* pszSettings;
    } cases[] = {
        { "cancelled in the entry's write", "" },
        { "cancelled in a DAILY move's open", "DAILY=1\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        RemoveTree(LogRoot());
        Settings(c.pszSettings);
        SetNow(Utc(2024, 5, 1, 23, 59, 59));
        EXPECT_EQ("exit 0", InChild([&]() { return CancelledWriterThenDump(LogRoot()); }));
    }
}

TEST_F(HostileTest, EchoToAStandardErrorWhoseReaderHasGoneNeitherEndsTheHostNorLosesEntries)
{
    Settings("ECHO=1\r\n");
    std::string strEnded = InChild([]() {
        signal(SIGPIPE, SIG_DFL);
        int fds[2];
        if (pipe(fds) != 0 || close(fds[0]) != 0 || dup2(fds[1], STDERR_FILENO) != STDERR_FILENO)
            return 1;
        ILogObject* pLog = CreateLogObject(0);
        if (pLog == NULL || pLog->Open("echo") != TRUE)
            return 2;
        pLog->WriteLog("first after the reader went");
        unsigned char ab[4] = { 1, 2, 3, 4 };
        pLog->WriteHex(ab, sizeof(ab), TRUE, TRUE);
        pLog->WriteLog("second after the reader went");
        pLog->Release();
        sigset_t pending;
        sigemptyset(&pending);
        return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 0 ? 0 : 3;
    });
    EXPECT_EQ("exit 0", strEnded);
    std::string strText = ReadWhole(TheFile());
    EXPECT_EQ(1, Count(strText, "  first after the reader went\r\n\r\n"));
    EXPECT_EQ(1, Count(strText, "  second after the reader went\r\n\r\n"));
}

TEST_F(HostileTest, AFileSystemThatRefusesLocksIsWrittenWithoutThemAndCleaningLeavesItsFilesAlone)
{
    Settings("KEEPDAYS=1\r\n");
    std::string strOld = OldFile("2024-04-21", 1);
    std::string strEnded = InChild([]() {
        if (!RefuseLocks() || flock(STDIN_FILENO, LOCK_SH) == 0 || errno != ENOLCK)
            return 1;
        ILogObject* pLog = CreateLogObject(0);
        if (pLog == NULL || pLog->Open("nolocks") != TRUE)
            return 2;
        pLog->WriteLog("written without a lock %d", 1);
        pLog->Release();
        return 0;
    });
    EXPECT_EQ("exit 0", strEnded);
    EXPECT_EQ(1, Count(DayText(Day()), "  written without a lock 1\r\n\r\n"));
    // Whether a writer holds the old file cannot be known there: it stays.
    EXPECT_TRUE(Exists(strOld));
}

TEST_F(HostileTest, ChildrenForkedWhileAnotherThreadWritesEachWriteTheirEntryAndEnd)
{
    const int FORKS = 20;
    std::string strEnded = InChild([&]() {
        ILogObject* pLog = CreateLogObject(0);
        if (pLog == NULL || pLog->Open("fork") != TRUE)
            return 1;
        std::atomic<bool> bStop(false);
        std::thread writer([&]() {
            for (int i = 0; !bStop.load(); ++i)
                pLog->WriteLog("parent's thread %d", i);
        });
        int nHung = 0;
        for (int i = 0; i < FORKS; ++i) {
            pid_t pid = fork();
            if (pid == 0) {
                pLog->WriteLog("child %d", i);
                pLog->Release();
                _exit(0);
            }
            nHung += pid > 0 && WaitBounded(pid, 10) == "exit 0" ? 0 : 1;
        }
        bStop.store(true);
        writer.join();
        pLog->Release();
        return nHung == 0 ? 0 : 10 + nHung;
    }, 300);
    EXPECT_EQ("exit 0", strEnded);
    std::string strText = ReadWhole(TheFile());
    for (int i = 0; i < FORKS; ++i)
        EXPECT_EQ(1, Count(strText, "  child " + std::to_string(i) + "\r\n\r\n")) << i;
    // Every entry whole: each stamp opens an entry that the one before closed.
    EXPECT_EQ(Count(strText, "\r\n\r\n2024-"), Count(strText, "\r\n2024-"));
    // No child writes an entry the parent's thread had handed in before the fork.
    std::set<std::string> seen;
    for (size_t n = strText.find("parent's thread "); n != std::string::npos; n = strText.find("parent's thread ", n + 1)) {
        const std::string strEntry = strText.substr(n, strText.find('\r', n) - n);
        EXPECT_TRUE(seen.insert(strEntry).second) << "written twice: " << strEntry;
    }
}

TEST_F(HostileTest, ALinkPlantedAtTodaysDayFolderIsRefusedAndNothingIsWrittenOutsideTheLogFolder)
{
    ShareLogFolder();
    if (!NobodyReachesLogFolder())
        GTEST_SKIP() << "the user nobody cannot reach " << LogRoot() << ": a folder above it is closed to other users";
    std::string strOutside = Outside(), strDay = Day();
    ASSERT_EQ(0, AsNobody([&]() { return symlink(strOutside.c_str(), strDay.c_str()); }));
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_NE(nullptr, pLog);
    EXPECT_FALSE(pLog->Open("planted"));
    pLog->WriteLog("must not leave the log folder");
    pLog->Release();
    EXPECT_TRUE(ListDir(strOutside).empty());
    EXPECT_TRUE(Reported("link")) << ::testing::PrintToString(Reports());
}

TEST_F(HostileTest, ALinkPlantedAtTomorrowsDayFolderKeepsADailyObjectInTodaysFile)
{
    ShareLogFolder();
    if (!NobodyReachesLogFolder())
        GTEST_SKIP() << "the user nobody cannot reach " << LogRoot() << ": a folder above it is closed to other users";
    Settings("DAILY=1\r\n");
    SetNow(Utc(2024, 5, 1, 23, 59, 59));
    std::string strOutside = Outside(), strTomorrow = Day("2024-05-02");
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_NE(nullptr, pLog);
    ASSERT_TRUE(pLog->Open("daily"));
    ASSERT_EQ(0, AsNobody([&]() { return symlink(strOutside.c_str(), strTomorrow.c_str()); }));
    SetNow(Utc(2024, 5, 2, 0, 0, 1));
    pLog->WriteLog("after midnight");
    pLog->Release();
    EXPECT_TRUE(ListDir(strOutside).empty());
    EXPECT_EQ(1, Count(DayText(Day()), "  after midnight\r\n\r\n"));
    EXPECT_TRUE(Reported("link")) << ::testing::PrintToString(Reports());
}

TEST_F(HostileTest, AnotherUsersFilesAtTheComingNamesAreNeverWrittenTo)
{
    ShareLogFolder();
    if (!NobodyReachesLogFolder())
        GTEST_SKIP() << "the user nobody cannot reach " << LogRoot() << ": a folder above it is closed to other users";
    Settings("DAILY=1\r\n");
    SetNow(Utc(2024, 5, 1, 23, 59, 58));
    std::string strToday = Day(), strTomorrow = Day("2024-05-02");
    // Another user makes today's folder with a file at the next second's name,
    // and tomorrow's with files at the first seconds' names.
    ASSERT_EQ(0, AsNobody([&]() {
        int nFailed = mkdir(strToday.c_str(), 0777) | mkdir(strTomorrow.c_str(), 0777);
        const std::string planted[] = { strToday + "/235959_planted.log", strTomorrow + "/000000_planted.log",
                                        strTomorrow + "/000001_planted.log" };
        for (const std::string& strFile : planted) {
            int fd = open(strFile.c_str(), O_CREAT | O_WRONLY, 0666);
            nFailed |= fd < 0 ? 1 : close(fd);
        }
        return nFailed;
    }));
    ILogObject* pLog = CreateLogObject(0);
    ASSERT_NE(nullptr, pLog);
    ASSERT_TRUE(pLog->Open("planted"));  // 235958: the host's own file
    pLog->WriteLog("before midnight");
    SetNow(Utc(2024, 5, 1, 23, 59, 59));
    pLog->Close();
    EXPECT_FALSE(pLog->Open("planted"));  // 235959: the other user's
    EXPECT_TRUE(Reported("another user")) << ::testing::PrintToString(Reports());
    SetNow(Utc(2024, 5, 1, 23, 59, 58));
    ASSERT_TRUE(pLog->Open("planted"));
    SetNow(Utc(2024, 5, 2, 0, 0, 1));
    pLog->WriteLog("after midnight");  // the move to 000001 is refused: the entry stays
    pLog->Release();
    for (const char* pszName : { "/235959_planted.log" })
        EXPECT_EQ("", ReadWhole(strToday + pszName));
    EXPECT_EQ("", ReadWhole(strTomorrow + "/000000_planted.log"));
    EXPECT_EQ("", ReadWhole(strTomorrow + "/000001_planted.log"));
    std::string strOwn = ReadWhole(strToday + "/235958_planted.log");
    EXPECT_EQ(1, Count(strOwn, "  before midnight\r\n\r\n"));
    EXPECT_EQ(1, Count(strOwn, "  after midnight\r\n\r\n"));
}

// A process of nobody that opens strFile for reading and holds it locked as a
// reader (flock -s, and a read lock of the whole file) until it is killed.
pid_t HoldAsReader(const std::string& strFile)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (setgroups(0, NULL) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0)
            _exit(90);
        int fd = open(strFile.c_str(), O_RDONLY);
        struct flock fl;
        memset(&fl, 0, sizeof(fl));
        fl.l_type = F_RDLCK;
        fl.l_whence = SEEK_SET;
        if (fd < 0 || flock(fd, LOCK_SH) != 0 || fcntl(fd, F_SETLK, &fl) != 0)
            _exit(91);
        (void)!write(fds[1], "h", 1);
        for (;;)
            pause();
    }
    close(fds[1]);
    char c = 0;
    bool bHeld = pid > 0 && read(fds[0], &c, 1) == 1;
    close(fds[0]);
    if (!bHeld && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, NULL, 0);
    }
    return bHeld ? pid : -1;
}

TEST_F(HostileTest, AReadersLockNeitherPinsAnOldFileNorMakesKeepMbRemoveNewerDays)
{
    struct
    {
        const char* pszCase;
        const char* pszSettings;
        bool bWriter;       // the old file is held by a writer of the library, not a reader
        bool bOldStays;
        bool bNewerStays;   // KEEPMB: one old MiB over the cap; an old file held open is passed by
    } cases[] = {
        { "KEEPDAYS, a reader", "KEEPDAYS=1\r\n", false, false, false },
        { "KEEPMB, a reader", "KEEPMB=1\r\n", false, false, true },
        { "KEEPDAYS, a writer", "KEEPDAYS=1\r\n", true, true, false },
        { "KEEPMB, a writer", "KEEPMB=1\r\n", true, true, false },
    };
    ASSERT_EQ(0, chmod(m_strTemp.c_str(), 0755));
    ASSERT_EQ(0, chmod(Host().c_str(), 0755));
    if (!NobodyReaches(Host(), X_OK))
        GTEST_SKIP() << "the user nobody cannot reach " << Host() << ": a folder above it is closed to other users";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        RemoveTree(LogRoot());
        CLogFolder::ForgetTotals();
        Settings(c.pszSettings);
        ASSERT_EQ(0, chmod(m_strTemp.c_str(), 0755));
        ASSERT_EQ(0, chmod(Host().c_str(), 0755));
        std::string strOld = OldFile("2024-04-21", 1), strNewer = OldFile("2024-04-25", 1);
        FILE* pWriter = NULL;
        pid_t pidReader = -1;
        if (c.bWriter)
            ASSERT_NE(nullptr, pWriter = QwOpenAppend(strOld.c_str()));
        else
            ASSERT_GT(pidReader = HoldAsReader(strOld), 0);
        ILogObject* pLog = CreateLogObject(0);  // cleans
        ASSERT_NE(nullptr, pLog);
        pLog->Release();
        if (pWriter != NULL)
            fclose(pWriter);
        if (pidReader > 0) {
            kill(pidReader, SIGKILL);
            waitpid(pidReader, NULL, 0);
        }
        EXPECT_EQ(c.bOldStays, Exists(strOld));
        EXPECT_EQ(c.bNewerStays, Exists(strNewer));
    }
}

} // namespace

namespace {

TEST_F(HostileTest, KeepMbOverClosedFilesPassesByTheOneAWriterStillHolds)
{
    Settings("KEEPMB=2\r\n");
    CLogFolder folder;
    CSettings settings;
    settings.Load(Host(), "host");
    folder.ReadSettings(settings);
    std::string strDay;
    ASSERT_TRUE(folder.CreateLogDir(Host(), "host", "2024-05-01", strDay));
    const char* apszNames[] = { "000001_a.log", "000002_a.log", "000003_a.log" };
    for (const char* pszName : apszNames)
        WriteWhole(strDay + "/" + pszName, std::string((size_t)1 << 20, 'x'));
    FILE* pWriter = QwOpenAppend((strDay + "/000001_a.log").c_str());  // another object still writes the oldest
    ASSERT_NE(nullptr, pWriter);
    folder.CleanAfterMove(strDay);
    fclose(pWriter);
    EXPECT_TRUE(Exists(strDay + "/000001_a.log"));
    EXPECT_FALSE(Exists(strDay + "/000002_a.log"));  // closed: taken in its place
    EXPECT_TRUE(Exists(strDay + "/000003_a.log")) << "within the cap once the second went";
}

} // namespace
