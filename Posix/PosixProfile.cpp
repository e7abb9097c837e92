// The settings file on POSIX: QUILLWORK_INI (never in a privileged process),
// /etc/quillwork, and the file read whole. Only a regular file of at most
// 64 KiB is read, and reading never blocks: a FIFO or device is refused.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

const size_t PROFILE_LIMIT = 65536;

// Closes the descriptor on every way out, an exception from append included.
struct CClose
{
    int fd;
    ~CClose()
    {
        if (fd >= 0)
            close(fd);
    }
};

// The text of nError, from the thread-safe strerror_r.
std::string ErrorText(int nError)
{
    char szBuf[256];
    return strerror_r(nError, szBuf, sizeof(szBuf));
}

// strWhy = pszWhat, then the reason of nError when there is one.
QW_SETTINGS_FILE Failed(std::string& strWhy, const char* pszWhat, int nError)
{
    strWhy = pszWhat;
    if (nError != 0)
        strWhy += (strWhy.empty() ? "" : ": ") + ErrorText(nError);
    return QW_SETTINGS_UNREADABLE;
}

} // namespace

QW_SETTINGS_FILE QwReadSettingsFile(const std::string& strPath, std::string& strText, std::string& strWhy)
{
    strText.clear();
    strWhy.clear();
    CClose file = { open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) };
    if (file.fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? QW_SETTINGS_MISSING : Failed(strWhy, "", errno);
    struct stat st;
    if (fstat(file.fd, &st) != 0)
        return Failed(strWhy, "", errno);
    if (!S_ISREG(st.st_mode))
        return Failed(strWhy, S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file", 0);
    if ((unsigned long long)st.st_size > PROFILE_LIMIT)
        return Failed(strWhy, "larger than 64 KiB", 0);
    char szBuf[4096];
    for (;;) {
        ssize_t n = read(file.fd, szBuf, sizeof(szBuf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed(strWhy, "", errno);
        if (n == 0)
            return QW_SETTINGS_READ;
        strText.append(szBuf, (size_t)n);
        if (strText.size() > PROFILE_LIMIT)
            return Failed(strWhy, "larger than 64 KiB", 0);  // it grew since fstat
    }
}

BOOL QwSettingsVariable(std::string& strValue)
{
    const char* pszValue = secure_getenv("QUILLWORK_INI");
    if (pszValue == NULL || pszValue[0] == '\0')
        return FALSE;
    strValue = pszValue;
    return TRUE;
}

BOOL QwSystemSettingsFolder(std::string& strFolder)
{
    strFolder = "/etc/quillwork";
    return TRUE;
}

std::string QwLastErrorText(void)
{
    return ErrorText(errno);
}
