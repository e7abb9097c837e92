// The POSIX console: the controlling terminal (/dev/tty) is the console.
// Each showing object writes through a terminal descriptor of its own, opened
// non-blocking, so a stopped or full terminal never holds up the host: what the
// terminal cannot take at once is dropped. Colours are ANSI SGR sequences mapped
// from the console attribute bits, with the terminal's own default colours for
// the normal colour (7) and a black background; plain text when NO_COLOR is set
// or TERM=dumb. Sizes are accepted and change nothing; there is no window.
// Text shows the control characters of the terminal's charset as escapes, so
// logged text cannot drive the terminal; the colours are the library's own.
#include "PosixConsole.h"

#include "ControlText.h"
#include "PosixCharset.h"

#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <string>

namespace {

const char TERMINAL_PATH[] = "/dev/tty";
const unsigned int TERMINAL_TAG = 0x5157434eu;  // marks a live CTerminal

// The terminal output of one object: its descriptor and the pieces it gathers
// between QwBeginConsoleBatch and QwEndConsoleBatch. Used under its owner's lock.
struct CTerminal
{
    enum { BATCH_SIZE = 8192 };
    unsigned int nTag;
    int fd;
    bool bColour;     // SGR sequences wanted
    bool bUtf8;       // the terminal reads UTF-8 (else a single-byte charset)
    bool bBatch;      // gathering
    bool bTorn;       // the terminal took only part of something: a line and a colour are left open
    size_t nUsed;     // bytes gathered in achBatch
    char achBatch[BATCH_SIZE];
    std::string strShown;  // the text being put out, its controls shown as escapes
};

std::atomic<bool> s_bAllocated(false);

// The terminal behind hOut, or NULL when hOut is not one.
CTerminal* TerminalOf(QW_OUTPUT hOut)
{
    CTerminal* pTerm = (CTerminal*)hOut;
    return pTerm != NULL && pTerm->nTag == TERMINAL_TAG ? pTerm : NULL;
}

// FALSE when the user asked for plain text (NO_COLOR set, or TERM=dumb).
bool ColourWanted()
{
    const char* pszTerm = getenv("TERM");
    return getenv("NO_COLOR") == NULL && !(pszTerm != NULL && strcmp(pszTerm, "dumb") == 0);
}

// FALSE when a write would stop the whole process: it is in the background of a
// terminal that stops background writers (TOSTOP, SIGTTOU).
bool MayWrite(int fd)
{
    pid_t pgrp = tcgetpgrp(fd);
    if (pgrp < 0 || pgrp == getpgrp())
        return true;
    struct termios tio;
    return tcgetattr(fd, &tio) != 0 || (tio.c_lflag & TOSTOP) == 0;
}

// Writes nCount bytes to fd without waiting; the count written (short where the
// terminal could not take more).
size_t WriteSome(int fd, const char* p, size_t nCount)
{
    size_t nDone = 0;
    while (nDone < nCount) {
        ssize_t n = write(fd, p + nDone, nCount - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        nDone += (size_t)n;
    }
    return nDone;
}

// Puts nCount bytes out to the terminal now, never waiting: whatever the terminal
// cannot take at once (stopped, full, gone) is dropped. After a cut, the next text
// starts with a reset and a line end, so it shows whole and in its own colours.
// TRUE when all went out.
bool PutNow(CTerminal* pTerm, const char* p, size_t nCount)
{
    static const char s_szFreshLine[] = "\x1b[0m\r\n";
    if (nCount == 0)
        return true;
    if (!MayWrite(pTerm->fd))
        return false;
    if (pTerm->bTorn) {
        size_t nFresh = WriteSome(pTerm->fd, s_szFreshLine, sizeof(s_szFreshLine) - 1);
        if (nFresh < sizeof(s_szFreshLine) - 1)
            return false;
        pTerm->bTorn = false;
    }
    size_t nDone = WriteSome(pTerm->fd, p, nCount);
    if (nDone > 0 && nDone < nCount)
        pTerm->bTorn = true;
    return nDone == nCount;
}

// Puts out what pTerm gathered.
bool Flush(CTerminal* pTerm)
{
    bool bOk = PutNow(pTerm, pTerm->achBatch, pTerm->nUsed);
    pTerm->nUsed = 0;
    return bOk;
}

// Gathers nCount bytes while batching (putting the batch out when it fills),
// else puts them out at once.
bool Put(CTerminal* pTerm, const char* p, size_t nCount)
{
    if (!pTerm->bBatch)
        return PutNow(pTerm, p, nCount);
    bool bOk = true;
    if (nCount > CTerminal::BATCH_SIZE - pTerm->nUsed)
        bOk = Flush(pTerm);
    if (nCount > CTerminal::BATCH_SIZE)
        return PutNow(pTerm, p, nCount) && bOk;
    memcpy(pTerm->achBatch + pTerm->nUsed, p, nCount);
    pTerm->nUsed += nCount;
    return bOk;
}

// ANSI colour number (0..7) of the red, green and blue bits at nShift.
int AnsiColour(WORD wAttr, int nShift)
{
    int nBits = (wAttr >> nShift) & 7;
    return ((nBits & 4) ? 1 : 0) | ((nBits & 2) ? 2 : 0) | ((nBits & 1) ? 4 : 0);
}

} // namespace

void QwConsoleSgr(WORD wAttr, char* pszSgr, size_t nSize)
{
    char szFore[16] = "", szBack[16] = "";
    if ((wAttr & 0x0F) != 7)
        snprintf(szFore, sizeof(szFore), ";%d", ((wAttr & 8) ? 90 : 30) + AnsiColour(wAttr, 0));
    if ((wAttr & 0xF0) != 0)
        snprintf(szBack, sizeof(szBack), ";%d", ((wAttr & 128) ? 100 : 40) + AnsiColour(wAttr, 4));
    snprintf(pszSgr, nSize, "\x1b[0%s%sm", szFore, szBack);
}

BOOL QwAllocConsole(void)
{
    int fd = open(TERMINAL_PATH, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FALSE;
    close(fd);
    bool bExpected = false;
    return s_bAllocated.compare_exchange_strong(bExpected, true) ? TRUE : FALSE;
}

BOOL QwFreeConsole(void) { return s_bAllocated.exchange(false) ? TRUE : FALSE; }

QW_OUTPUT QwStdOutput(void) { return NULL; }

QW_OUTPUT QwOpenConsoleOutput(void)
{
    int fd = open(TERMINAL_PATH, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return NULL;
    CTerminal* pTerm = new (std::nothrow) CTerminal;
    if (pTerm == NULL) {
        close(fd);
        return NULL;
    }
    pTerm->nTag = TERMINAL_TAG;
    pTerm->fd = fd;
    pTerm->bColour = ColourWanted();
    pTerm->bUtf8 = QwReadsUtf8();
    pTerm->bBatch = false;
    pTerm->bTorn = false;
    pTerm->nUsed = 0;
    return (QW_OUTPUT)pTerm;
}

void QwCloseConsoleOutput(QW_OUTPUT hOut)
{
    CTerminal* pTerm = TerminalOf(hOut);
    if (pTerm == NULL)
        return;
    Flush(pTerm);
    close(pTerm->fd);
    pTerm->nTag = 0;
    delete pTerm;
}

void QwBeginConsoleBatch(QW_OUTPUT hOut)
{
    CTerminal* pTerm = TerminalOf(hOut);
    if (pTerm != NULL)
        pTerm->bBatch = true;
}

void QwEndConsoleBatch(QW_OUTPUT hOut)
{
    CTerminal* pTerm = TerminalOf(hOut);
    if (pTerm == NULL)
        return;
    Flush(pTerm);
    pTerm->bBatch = false;
}

BOOL QwWriteConsoleText(QW_OUTPUT hOut, const char* pszText, DWORD nCount)
{
    CTerminal* pTerm = TerminalOf(hOut);
    if (pTerm == NULL || pszText == NULL)
        return FALSE;
    try {
        pTerm->strShown.clear();
        QwAppendShown(pTerm->strShown, pszText, nCount, pTerm->bUtf8);
    } catch (const std::bad_alloc&) {
        return FALSE;  // no memory to show it safely: the file has it
    }
    return Put(pTerm, pTerm->strShown.data(), pTerm->strShown.size()) ? TRUE : FALSE;
}

BOOL QwSetConsoleBuffer(QW_OUTPUT hOut, QW_CELLS) { return TerminalOf(hOut) != NULL; }

BOOL QwSetConsoleWindow(QW_OUTPUT hOut, const QW_RECT* pRect)
{
    return TerminalOf(hOut) != NULL && pRect != NULL;
}

BOOL QwSetConsoleColour(QW_OUTPUT hOut, WORD wAttr)
{
    CTerminal* pTerm = TerminalOf(hOut);
    if (pTerm == NULL)
        return FALSE;
    if (!pTerm->bColour)
        return TRUE;
    char szSgr[32];
    QwConsoleSgr(wAttr, szSgr, sizeof(szSgr));
    return Put(pTerm, szSgr, strlen(szSgr)) ? TRUE : FALSE;
}

BOOL QwConsoleState(QW_OUTPUT, QW_CONSOLE_STATE*) { return FALSE; }

BOOL QwInputMode(DWORD*) { return FALSE; }

BOOL QwSetInputMode(DWORD) { return FALSE; }

// Control events are the terminal's own signals, left to the host.
BOOL QwSetControlHandler(PFN_QWCONTROL, BOOL) { return TRUE; }

DWORD QwConsoleTitle(char* pszTitle, DWORD nSize)
{
    if (pszTitle != NULL && nSize > 0)
        pszTitle[0] = '\0';
    return 0;
}

QW_WINDOW QwFindConsoleWindow(const char*) { return NULL; }

QW_MENU QwSystemMenu(QW_WINDOW) { return NULL; }

DWORD QwEnableCloseItem(QW_MENU, unsigned int) { return (DWORD)-1; }

unsigned int QwCloseItemState(QW_MENU) { return QW_NO_CLOSE_STATE; }
