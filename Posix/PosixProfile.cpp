// The configuration reader for POSIX: only a regular file of at most 64 KiB is
// read, and reading never blocks (a FIFO, a device, a folder or a link to one
// reads as a missing file); the text is read with the Windows rules (CProfile).
#include "../LogClass/Platform.h"
#include "../LogClass/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

const size_t PROFILE_LIMIT = 65536;

// The whole of strPath when it is a regular file of at most PROFILE_LIMIT
// bytes. FALSE for anything else; a FIFO or device is never waited on.
bool ReadSmallFile(const std::string& strPath, std::string& strText)
{
    // Closes the descriptor on every way out, an exception from append included.
    struct CClose
    {
        int fd;
        ~CClose()
        {
            if (fd >= 0)
                close(fd);
        }
    } file = { open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) };
    struct stat st;
    if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || (unsigned long long)st.st_size > PROFILE_LIMIT)
        return false;
    char szBuf[4096];
    for (;;) {
        ssize_t n = read(file.fd, szBuf, sizeof(szBuf));
        if (n <= 0)
            return n == 0;
        strText.append(szBuf, (size_t)n);
        if (strText.size() > PROFILE_LIMIT)
            return false;  // it grew since fstat
    }
}

} // namespace

BOOL QwProfileString(const std::string& strIni, const char* pszSection, const char* pszKey, std::string& strValue)
{
    strValue.clear();
    std::string strText;
    if (!ReadSmallFile(strIni, strText))
        return FALSE;
    return CProfile(strText).String(pszSection, pszKey, strValue) ? TRUE : FALSE;
}

int QwProfileInt(const std::string& strIni, const char* pszSection, const char* pszKey, int nDefault)
{
    std::string strText;
    if (!ReadSmallFile(strIni, strText))
        return nDefault;
    return CProfile(strText).Int(pszSection, pszKey, nDefault);
}
