// The POSIX side of the developer channel of Platform.h: standard error.
#include "../LogClass/Platform.h"
#include "../LogClass/ControlText.h"

#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <stdlib.h>
#include <strings.h>
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

// True when pszName names UTF-8 ("UTF-8", "en_US.utf8", ...), in any case.
bool NamesUtf8(const char* pszName)
{
    for (const char* p = pszName; p != NULL && *p != '\0'; ++p)
        if (strncasecmp(p, "utf-8", 5) == 0 || strncasecmp(p, "utf8", 4) == 0)
            return true;
    return false;
}

// True when whoever reads standard error reads UTF-8, decided as for the
// terminal mirror: the host's locale, else the first of LC_ALL, LC_CTYPE and
// LANG that is set (never read by a privileged process).
bool ChannelReadsUtf8()
{
    if (NamesUtf8(nl_langinfo(CODESET)))
        return true;
    const char* apszNames[] = { "LC_ALL", "LC_CTYPE", "LANG" };
    for (size_t i = 0; i < sizeof(apszNames) / sizeof(apszNames[0]); ++i) {
        const char* pszValue = secure_getenv(apszNames[i]);
        if (pszValue != NULL && pszValue[0] != '\0')
            return NamesUtf8(pszValue);
    }
    return false;
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

} // namespace

void QwEchoText(FILE* pLog, const char* p, size_t nLen)
{
    if (p == NULL || nLen == 0 || StderrIsLog(pLog))
        return;
    try {
        std::string strShown;
        strShown.reserve(nLen + 16);
        QwAppendShown(strShown, p, nLen, ChannelReadsUtf8());
        WriteOut(STDERR_FILENO, strShown.data(), strShown.size());
    } catch (const std::bad_alloc&) {
        // No memory to show it: the channel misses this entry, the file has it.
    }
}
