// The POSIX side of the developer channel of Platform.h: standard error, one
// line per entry line, ending in LF.
#include "../LogClass/Platform.h"
#include "PosixCharset.h"
#include "../LogClass/ControlText.h"

#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <strings.h>
#include <unistd.h>

#include <new>
#include <string>

namespace {

// Keeps SIGPIPE off the calling thread for one scope: a channel whose reader
// has gone (a closed pipe or socket) must not end the host. The signal is
// blocked meanwhile; one the scope's writes raised is taken off again before
// it is unblocked, one that was pending before is left for the host.
class CNoSigPipe
{
public:
    CNoSigPipe()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        m_bWasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        m_bBlocked = pthread_sigmask(SIG_BLOCK, &pipe, &m_old) == 0;
    }
    ~CNoSigPipe()
    {
        if (!m_bBlocked)
            return;
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        if (!m_bWasPending && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            const struct timespec tsNow = { 0, 0 };
            while (sigtimedwait(&pipe, NULL, &tsNow) < 0 && errno == EINTR)
                ;
        }
        pthread_sigmask(SIG_SETMASK, &m_old, NULL);
    }

private:
    CNoSigPipe(const CNoSigPipe&);
    CNoSigPipe& operator=(const CNoSigPipe&);
    sigset_t m_old;
    bool m_bBlocked;
    bool m_bWasPending;
};

// Writes nLen bytes to fd: one write unless the channel takes less at once;
// stops where it takes nothing (a full non-blocking pipe, a closed one:
// EPIPE, without SIGPIPE).
void WriteOut(int fd, const char* p, size_t nLen)
{
    CNoSigPipe noSigPipe;
    while (nLen > 0) {
        ssize_t n = write(fd, p, nLen);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        nLen -= (size_t)n;
    }
}

// True when standard error is, by all signs, a log file of this library: a
// host that closed its standard error can have a log opened as descriptor 2,
// and the echo must not write into a log. The library opens its logs for
// reading and appending; a shell's "2>>" gives write-only.
bool StderrIsLog(FILE* pLog)
{
    if (pLog != NULL && fileno(pLog) == STDERR_FILENO)
        return true;
    int nFlags = fcntl(STDERR_FILENO, F_GETFL);
    return nFlags != -1 && (nFlags & O_ACCMODE) == O_RDWR && (nFlags & O_APPEND) != 0;
}

// The entry's text as lines for a journal: each CR LF becomes LF, and the
// line ends before the first line and after the last (the entry's empty
// closing line, the banner's opening one) give way to one LF at the end.
std::string AsLines(const char* p, size_t nLen)
{
    size_t nBegin = 0;
    while (nBegin + 1 < nLen && p[nBegin] == '\r' && p[nBegin + 1] == '\n')
        nBegin += 2;
    while (nLen >= nBegin + 2 && p[nLen - 2] == '\r' && p[nLen - 1] == '\n')
        nLen -= 2;
    std::string strLines;
    strLines.reserve(nLen - nBegin + 1);
    for (size_t i = nBegin; i < nLen; ++i)
        if (!(p[i] == '\r' && i + 1 < nLen && p[i + 1] == '\n'))
            strLines += p[i];
    strLines += '\n';
    return strLines;
}

} // namespace

void QwEchoText(FILE* pLog, const char* p, size_t nLen)
{
    if (p == NULL || nLen == 0 || StderrIsLog(pLog))
        return;
    try {
        std::string strLines = AsLines(p, nLen), strShown;
        strShown.reserve(strLines.size() + 16);
        QwAppendShown(strShown, strLines.data(), strLines.size(), QwReadsUtf8());
        WriteOut(STDERR_FILENO, strShown.data(), strShown.size());
    } catch (const std::bad_alloc&) {
        // No memory to show it: the channel misses this entry, the file has it.
    }
}
