// The POSIX console on a real terminal: a child process gets a pseudo-terminal as
// its controlling terminal (so /dev/tty is that terminal) and drives the console
// calls; the test reads what reached the terminal from the master side.
#include "Support.h"

#include "../../Posix/PosixConsole.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>

using namespace qwtest;

namespace {

// A child process on a terminal of its own, and a pipe each way for step signals.
struct CTerminalChild
{
    pid_t pid = -1;
    int fdMaster = -1;
    int fdToChild = -1;    // the test's end of the pipe the child reads
    int fdFromChild = -1;  // the test's end of the pipe the child writes
};

int s_fdParentIn = -1, s_fdParentOut = -1;  // the child's ends

// In the child: tells the test a step is done, or waits for its go.
void Tell() { (void)!write(s_fdParentOut, "s", 1); }
void AwaitGo()
{
    char c;
    while (read(s_fdParentIn, &c, 1) < 0 && errno == EINTR) {
    }
}

// Starts pfnBody in a child whose controlling terminal is a new pseudo-terminal in
// raw mode (no line-end translation). The child's exit status is pfnBody's result.
bool Start(int (*pfnBody)(), CTerminalChild& child)
{
    int fdMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (fdMaster < 0 || grantpt(fdMaster) != 0 || unlockpt(fdMaster) != 0)
        return false;
    std::string strSlave = ptsname(fdMaster);
    int aToChild[2], aFromChild[2];
    if (pipe(aToChild) != 0 || pipe(aFromChild) != 0)
        return false;
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        close(fdMaster);
        s_fdParentIn = aToChild[0];
        s_fdParentOut = aFromChild[1];
        setsid();
        int fdSlave = open(strSlave.c_str(), O_RDWR);  // the first terminal a session leader opens is its own
        struct termios tio;
        if (fdSlave < 0 || tcgetattr(fdSlave, &tio) != 0)
            _exit(90);
        cfmakeraw(&tio);
        tcsetattr(fdSlave, TCSANOW, &tio);
        _exit(pfnBody());
    }
    close(aToChild[0]);
    close(aFromChild[1]);
    child.pid = pid;
    child.fdMaster = fdMaster;
    child.fdToChild = aToChild[1];
    child.fdFromChild = aFromChild[0];
    return true;
}

// Waits up to nMillis for fd to be readable.
bool Readable(int fd, int nMillis)
{
    struct pollfd p = { fd, POLLIN, 0 };
    return poll(&p, 1, nMillis) > 0 && (p.revents & POLLIN) != 0;
}

// Reads what the terminal holds until nothing more comes for 200 ms.
std::string Drain(const CTerminalChild& child)
{
    std::string str;
    char buf[4096];
    while (Readable(child.fdMaster, 200)) {
        ssize_t n = read(child.fdMaster, buf, sizeof(buf));
        if (n <= 0)
            break;
        str.append(buf, (size_t)n);
    }
    return str;
}

// Reads the terminal until strMark has come (or nothing more comes for 10 s).
std::string ReadUntil(const CTerminalChild& child, const std::string& strMark)
{
    std::string str;
    char buf[4096];
    while (str.find(strMark) == std::string::npos && Readable(child.fdMaster, 10000)) {
        ssize_t n = read(child.fdMaster, buf, sizeof(buf));
        if (n <= 0)
            break;
        str.append(buf, (size_t)n);
    }
    return str;
}

// Waits for the child's step signal (bounded, so a child that blocks fails the test).
bool AwaitStep(const CTerminalChild& child)
{
    char c;
    return Readable(child.fdFromChild, 30000) && read(child.fdFromChild, &c, 1) == 1;
}

void Go(const CTerminalChild& child) { (void)!write(child.fdToChild, "g", 1); }

// The child's exit status, or -1 when it has not ended within 30 s (it is killed).
int Finish(CTerminalChild& child)
{
    int nStatus = 0;
    for (int i = 0; i < 3000; ++i) {
        if (waitpid(child.pid, &nStatus, WNOHANG) == child.pid) {
            close(child.fdMaster);
            close(child.fdToChild);
            close(child.fdFromChild);
            return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 100 + WTERMSIG(nStatus);
        }
        usleep(10000);
    }
    kill(child.pid, SIGKILL);
    waitpid(child.pid, &nStatus, 0);
    return -1;
}

// One coloured entry as the text log gives it, bracketed.
void ColouredEntry(QW_OUTPUT hOut, const char* pszText)
{
    QwBeginConsoleBatch(hOut);
    QwSetConsoleColour(hOut, 6);
    QwWriteConsoleText(hOut, "12:00", 5);
    QwSetConsoleColour(hOut, 7);
    QwWriteConsoleText(hOut, pszText, (DWORD)strlen(pszText));
    QwEndConsoleBatch(hOut);
}

// Pieces outside a bracket go at once; inside one, nothing until its end.
int GatherBody()
{
    QW_OUTPUT hOut = QwOpenConsoleOutput();
    if (hOut == NULL)
        return 1;
    QwWriteConsoleText(hOut, "at once|", 8);
    Tell();
    AwaitGo();
    QwBeginConsoleBatch(hOut);
    QwSetConsoleColour(hOut, 6);
    QwWriteConsoleText(hOut, "12:00", 5);
    QwSetConsoleColour(hOut, 7);
    QwWriteConsoleText(hOut, " entry|", 7);
    Tell();
    AwaitGo();
    QwEndConsoleBatch(hOut);
    QwCloseConsoleOutput(hOut);
    return 0;
}

// A terminal that cannot take more - its output stopped (as by Ctrl-S), or full
// because nobody reads it - must never hold up a call. Afterwards (started again,
// read again) it shows new text, on a line of its own.
bool s_bStopTerminal = false;

int StoppedBody()
{
    QW_OUTPUT hOut = QwOpenConsoleOutput();
    if (hOut == NULL)
        return 1;
    int fdTty = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fdTty < 0 || (s_bStopTerminal && tcflow(fdTty, TCOOFF) != 0))
        return 2;
    std::string strLine(200, 'x');
    strLine += "\r\n";
    for (int i = 0; i < 2000; ++i)  // 400 KB, far more than a terminal buffers
        ColouredEntry(hOut, strLine.c_str());
    Tell();
    AwaitGo();
    tcflow(fdTty, TCOON);
    ColouredEntry(hOut, "after the stop\r\n");
    QwCloseConsoleOutput(hOut);
    return 0;
}

// A background process on a terminal that stops background writers (TOSTOP) would be
// stopped, and every thread with it, by its first write: the mirror drops the text.
int BackgroundBody()
{
    int fdTty = open("/dev/tty", O_RDWR | O_NOCTTY);
    struct termios tio;
    if (fdTty < 0 || tcgetattr(fdTty, &tio) != 0)
        return 1;
    tio.c_lflag |= TOSTOP;
    tcsetattr(fdTty, TCSANOW, &tio);
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // a group of its own, in the background of the terminal
        QW_OUTPUT hOut = QwOpenConsoleOutput();
        if (hOut == NULL)
            _exit(1);
        ColouredEntry(hOut, "from the background\r\n");
        QwCloseConsoleOutput(hOut);
        _exit(0);
    }
    int nStatus = 0;
    if (waitpid(pid, &nStatus, WUNTRACED) != pid)
        return 2;
    if (WIFSTOPPED(nStatus)) {
        kill(pid, SIGKILL);
        waitpid(pid, &nStatus, 0);
        return 3;
    }
    Tell();
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 4;
}

// Text a peer might have sent, with what it would make a terminal do: set the
// title (OSC 0), write the clipboard (OSC 52), clear the screen (CSI 2J), plant a
// link (OSC 8), a C1 CSI in UTF-8, and a euro sign that must show as itself.
const char HOSTILE_TEXT[] = "\x1b]0;owned\x07|\x1b]52;c;aGk=\x1b\\|\x1b[2J|\x1b]8;;http://x\x1b\\y\x1b]8;;\x1b\\|\xc2\x9b" "31m|\xe2\x82\xac\r\n";
const char* s_pszLocale = "";

// Puts HOSTILE_TEXT out as one coloured entry, with LC_ALL naming s_pszLocale.
int HostileBody()
{
    setenv("LC_ALL", s_pszLocale, 1);
    QW_OUTPUT hOut = QwOpenConsoleOutput();
    if (hOut == NULL)
        return 1;
    ColouredEntry(hOut, HOSTILE_TEXT);
    QwCloseConsoleOutput(hOut);
    return 0;
}

} // namespace

TEST(PosixConsoleTest, AttributesBecomeSgrWithTheTerminalsOwnDefaults)
{
    const struct { WORD wAttr; const char* pszSgr; } cases[] = {
        { 7, "\x1b[0m" },             // the normal colour: the terminal's own colours
        { 9, "\x1b[0;94m" },          // light blue
        { 6, "\x1b[0;33m" },          // dark yellow, on the terminal's own background
        { 3, "\x1b[0;36m" },          // dark cyan
        { 2, "\x1b[0;32m" },          // dark green
        { 0, "\x1b[0;30m" },          // black text: asked for, so given
        { 0x1E, "\x1b[0;93;44m" },    // yellow on blue
        { 0x17, "\x1b[0;44m" },       // the normal colour on blue
        { 0xF0, "\x1b[0;30;107m" },   // black on white
        { 0xFF0F, "\x1b[0;97m" },     // bits above the background are not colours
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        char szSgr[32];
        QwConsoleSgr(cases[i].wAttr, szSgr, sizeof(szSgr));
        EXPECT_EQ(std::string(cases[i].pszSgr), szSgr) << std::hex << cases[i].wAttr;
    }
}

TEST(PosixConsoleTest, AnEntryIsGatheredAndPutOutAtItsEnd)
{
    unsetenv("NO_COLOR");
    setenv("TERM", "xterm", 1);
    CTerminalChild child;
    ASSERT_TRUE(Start(&GatherBody, child));
    ASSERT_TRUE(AwaitStep(child));
    EXPECT_EQ("at once|", ReadUntil(child, "|"));
    Go(child);
    ASSERT_TRUE(AwaitStep(child));
    EXPECT_FALSE(Readable(child.fdMaster, 300)) << "pieces of a bracketed entry reached the terminal before its end";
    Go(child);
    EXPECT_EQ("\x1b[0;33m12:00\x1b[0m entry|", ReadUntil(child, "|"));
    EXPECT_EQ(0, Finish(child));
}

TEST(PosixConsoleTest, AStoppedOrFullTerminalNeverHoldsUpTheCallsAndShowsNewTextAfterwards)
{
    const struct { bool bStop; const char* pszWhat; } cases[] = { { true, "stopped" }, { false, "full" } };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].pszWhat);
        s_bStopTerminal = cases[i].bStop;
        CTerminalChild child;
        ASSERT_TRUE(Start(&StoppedBody, child));
        EXPECT_TRUE(AwaitStep(child)) << "writing to the terminal blocked";
        // A full terminal is read empty before the next entry, as a reader would at last;
        // a stopped one gives nothing until the child starts it again.
        std::string str = cases[i].bStop ? std::string() : Drain(child);
        Go(child);
        str += ReadUntil(child, "after the stop\r\n");
        EXPECT_EQ(0, Finish(child));
        const std::string strAfter = "\x1b[0;33m12:00\x1b[0mafter the stop\r\n";
        size_t nAt = str.find(strAfter);
        ASSERT_NE(std::string::npos, nAt);
        // Where the terminal took only part of an entry, a reset and a line end come first.
        EXPECT_TRUE(nAt == 0 || str.compare(nAt - 2, 2, "\r\n") == 0) << "the new entry does not start a line of its own";
        EXPECT_LT(str.size(), 2000u * 214u) << "nothing was dropped: the terminal took it all";
    }
}

TEST(PosixConsoleTest, ABackgroundHostIsNotStoppedByItsMirror)
{
    CTerminalChild child;
    ASSERT_TRUE(Start(&BackgroundBody, child));
    EXPECT_TRUE(AwaitStep(child));
    EXPECT_EQ(0, Finish(child)) << "3: the background writer was stopped by SIGTTOU";
}

TEST(PosixConsoleTest, ControlCharactersReachTheTerminalAsEscapesAndColoursStay)
{
    unsetenv("NO_COLOR");
    setenv("TERM", "xterm", 1);
    const struct { const char* pszLocale; const char* pszShown; } cases[] = {
        { "C.UTF-8", "^[]0;owned^G|^[]52;c;aGk=^[\\|^[[2J|^[]8;;http://x^[\\y^[]8;;^[\\|\\x9b31m|\xe2\x82\xac\r\n" },
        // A single-byte terminal reads 0x80..0x9F as C1 controls, the euro's 0x82 too.
        { "en_US.ISO-8859-1", "^[]0;owned^G|^[]52;c;aGk=^[\\|^[[2J|^[]8;;http://x^[\\y^[]8;;^[\\|\xc2\\x9b31m|\xe2\\x82\xac\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszLocale);
        s_pszLocale = c.pszLocale;
        CTerminalChild child;
        ASSERT_TRUE(Start(&HostileBody, child));
        std::string str = ReadUntil(child, "\r\n");
        EXPECT_EQ(0, Finish(child));
        EXPECT_EQ(std::string("\x1b[0;33m12:00\x1b[0m") + c.pszShown, str);
    }
}
