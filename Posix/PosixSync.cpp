// The POSIX side of the stable-storage helpers Platform.h declares.
#include "../LogClass/Platform.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

BOOL QwSyncFile(FILE* pFile)
{
    int fd = pFile != NULL ? fileno(pFile) : -1;
    if (fd < 0)
        return FALSE;
    int nResult;
    do {
        nResult = fdatasync(fd);
    } while (nResult != 0 && errno == EINTR);
    return nResult == 0 ? TRUE : FALSE;
}

BOOL QwSyncFolder(const std::string& strFolder)
{
    int fd = open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FALSE;
    int nResult;
    do {
        nResult = fsync(fd);
    } while (nResult != 0 && errno == EINTR);
    close(fd);
    return nResult == 0 ? TRUE : FALSE;
}
