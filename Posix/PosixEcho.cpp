// The POSIX side of the developer channel of Platform.h: standard error.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <unistd.h>

#include <new>
#include <string>

namespace {

// Writes nLen bytes to fd: one write unless the channel takes less at once;
// stops where it takes nothing (a full non-blocking pipe, a closed one).
void WriteOut(int fd, const char* p, size_t nLen)
{
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

} // namespace

void QwEchoText(FILE* pLog, const char* p, size_t nLen)
{
    if (p == NULL || nLen == 0 || (pLog != NULL && fileno(pLog) == STDERR_FILENO))
        return;
    WriteOut(STDERR_FILENO, p, nLen);
}
