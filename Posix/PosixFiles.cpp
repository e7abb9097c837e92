// The POSIX side of the path and folder helpers Platform.h declares. Paths are
// the system's bytes; the limits are the system's own (NAME_MAX, PATH_MAX).
#include "../LogClass/Platform.h"
#include "PosixAppend.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// Older C library headers know neither; the kernel ignores what it does not know.
#ifndef STATX_MNT_ID
#define STATX_MNT_ID 0x00001000U
#endif
#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace {

// Closes a descriptor when the scope ends.
class CFd
{
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int Get() const { return m_fd; }

private:
    CFd(const CFd&);
    CFd& operator=(const CFd&);
    int m_fd;
};

// Opens the folder strPath for reading entries; with bNoLink a link there is refused.
int OpenFolder(const std::string& strPath, BOOL bNoLink)
{
    return open(strPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (bNoLink ? O_NOFOLLOW : 0));
}

// Opens sub-folder strSub of strFolder, never through a link.
int OpenSubFolder(const std::string& strFolder, const std::string& strSub)
{
    CFd folder(OpenFolder(strFolder, FALSE));
    if (folder.Get() < 0 || strSub.empty() || strSub.find('/') != std::string::npos)
        return -1;
    return openat(folder.Get(), strSub.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
}

// The kind of an entry from its mode (not followed).
int KindOf(mode_t nMode)
{
    if (S_ISREG(nMode))
        return QW_ENTRY::FILE_ENTRY;
    if (S_ISDIR(nMode))
        return QW_ENTRY::FOLDER_ENTRY;
    return QW_ENTRY::OTHER_ENTRY;
}

// What statx tells of pszName in folder fdDir ("" for fdDir itself), links not
// followed, with the mount id where the kernel gives it. FALSE when it fails.
bool StatxOf(int fdDir, const char* pszName, struct statx& stx)
{
    int nFlags = AT_SYMLINK_NOFOLLOW | (pszName[0] == '\0' ? AT_EMPTY_PATH : 0);
    return statx(fdDir, pszName, nFlags, STATX_BASIC_STATS | STATX_MNT_ID, &stx) == 0;
}

// TRUE when stx lies on the mount of the folder stxFolder and is no mount point
// itself. A bind mount keeps the device number: the mount id and the mount-root
// attribute tell it apart (kernels before 5.8 give neither; the device then decides).
bool OnSameMount(const struct statx& stxFolder, const struct statx& stx)
{
    if (stx.stx_dev_major != stxFolder.stx_dev_major || stx.stx_dev_minor != stxFolder.stx_dev_minor)
        return false;
    if ((stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0)
        return false;
    bool bIds = (stx.stx_mask & STATX_MNT_ID) != 0 && (stxFolder.stx_mask & STATX_MNT_ID) != 0;
    return !bIds || stx.stx_mnt_id == stxFolder.stx_mnt_id;
}

// TRUE when the open folder fdSub is on the mount of the open folder fdFolder.
bool SubOnSameMount(int fdFolder, int fdSub)
{
    struct statx stxFolder, stxSub;
    return StatxOf(fdFolder, "", stxFolder) && StatxOf(fdSub, "", stxSub) && OnSameMount(stxFolder, stxSub);
}

// Opens strFile of folder fdSub for the removal check when it is a regular file
// of that folder's mount: never through a link, never blocking. -1 otherwise.
int OpenPlainFileIn(int fdSub, const std::string& strFile)
{
    struct statx stxSub, stx;
    if (strFile.empty() || strFile.find('/') != std::string::npos || !StatxOf(fdSub, "", stxSub)
        || !StatxOf(fdSub, strFile.c_str(), stx) || !S_ISREG(stx.stx_mode) || !OnSameMount(stxSub, stx))
        return -1;
    return openat(fdSub, strFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

} // namespace

BOOL QwNameToPath(const char* pszName, std::string& strPath)
{
    strPath = pszName;
    return TRUE;
}

BOOL QwIsAbsolutePath(const std::string& strPath) { return !strPath.empty() && strPath[0] == '/'; }

QW_FOUND QwFindFolder(const std::string& strPath)
{
    struct stat st;
    if (stat(strPath.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? QW_FOUND_DIR : QW_FOUND_NONE;
    return (errno == ENOENT || errno == ENOTDIR) ? QW_FOUND_NONE : QW_FOUND_ERROR;
}

BOOL QwMakeFolder(const std::string& strPath) { return mkdir(strPath.c_str(), 0777) == 0 ? TRUE : FALSE; }

BOOL QwListFolder(const std::string& strFolder, BOOL bNoLink, std::vector<QW_ENTRY>& entries)
{
    entries.clear();
    CFd folder(OpenFolder(strFolder, bNoLink));
    if (folder.Get() < 0)
        return FALSE;
    int fdList = dup(folder.Get());
    // Closes the listing on every way out, an exception from push_back included.
    struct CDir
    {
        DIR* p;
        ~CDir()
        {
            if (p != NULL)
                closedir(p);
        }
    } dir = { fdList < 0 ? NULL : fdopendir(fdList) };
    if (dir.p == NULL) {
        if (fdList >= 0)
            close(fdList);
        return FALSE;
    }
    struct statx stxFolder;
    if (!StatxOf(folder.Get(), "", stxFolder))
        return FALSE;
    for (struct dirent* pEntry = readdir(dir.p); pEntry != NULL; pEntry = readdir(dir.p)) {
        if (strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0)
            continue;
        struct statx stx;
        if (!StatxOf(folder.Get(), pEntry->d_name, stx))
            continue;  // gone since the listing
        QW_ENTRY entry;
        entry.strName = pEntry->d_name;
        entry.nKind = OnSameMount(stxFolder, stx) ? KindOf(stx.stx_mode) : (int)QW_ENTRY::OTHER_ENTRY;
        entry.tWritten = (time_t)stx.stx_mtime.tv_sec;
        entry.nSize = (unsigned long long)stx.stx_size;
        entries.push_back(entry);
    }
    return TRUE;
}

BOOL QwRemoveFileIn(const std::string& strFolder, const std::string& strSub, const std::string& strFile)
{
    CFd folder(OpenFolder(strFolder, FALSE));
    CFd sub(folder.Get() < 0 ? -1 : OpenSubFolder(strFolder, strSub));
    if (sub.Get() < 0 || !SubOnSameMount(folder.Get(), sub.Get()))
        return FALSE;
    CFd file(OpenPlainFileIn(sub.Get(), strFile));
    // A log some object holds open keeps its live mark: the lock of the mark
    // range fails. Readers' locks do not stand in its way.
    struct stat stOpen, stName;
    if (file.Get() < 0 || !QwLockOutWriters(file.Get()) || fstat(file.Get(), &stOpen) != 0
        || fstatat(sub.Get(), strFile.c_str(), &stName, AT_SYMLINK_NOFOLLOW) != 0 || stName.st_ino != stOpen.st_ino
        || stName.st_dev != stOpen.st_dev)
        return FALSE;
    // The range is held until the name is gone: an Open of it meanwhile finds the
    // file unlinked once it has its lock, and makes a new one.
    return unlinkat(sub.Get(), strFile.c_str(), 0) == 0 ? TRUE : FALSE;
}

BOOL QwRemoveEmptyFolderIn(const std::string& strFolder, const std::string& strSub)
{
    CFd folder(OpenFolder(strFolder, FALSE));
    if (folder.Get() < 0 || strSub.empty() || strSub.find('/') != std::string::npos)
        return FALSE;
    struct statx stxFolder, stxSub;
    if (!StatxOf(folder.Get(), "", stxFolder) || !StatxOf(folder.Get(), strSub.c_str(), stxSub)
        || !OnSameMount(stxFolder, stxSub))
        return FALSE;
    // AT_REMOVEDIR never follows a link: a link by that name is not a folder.
    return unlinkat(folder.Get(), strSub.c_str(), AT_REMOVEDIR) == 0 ? TRUE : FALSE;
}
