// The POSIX side of the path and folder helpers Platform.h declares. Paths are
// the system's bytes; the limits are the system's own (NAME_MAX, PATH_MAX).
#include "../LogClass/Platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

DWORD QwExePath(char* pszPath, DWORD nSize) { return GetModuleFileNameA(NULL, pszPath, nSize); }

BOOL QwNameToPath(const char* pszName, std::string& strPath)
{
    strPath = pszName;
    return TRUE;
}

BOOL QwIsAbsolutePath(const std::string& strPath) { return !strPath.empty() && strPath[0] == '/'; }

BOOL QwUserStateFolder(std::string& strFolder)
{
    // A relative XDG_STATE_HOME is invalid and ignored, as the base directory rules say.
    const char* pszState = getenv("XDG_STATE_HOME");
    if (pszState != NULL && pszState[0] == '/') {
        strFolder = std::string(pszState) + "/quillwork";
        return TRUE;
    }
    const char* pszHome = getenv("HOME");
    if (pszHome == NULL || pszHome[0] != '/')
        return FALSE;
    strFolder = std::string(pszHome) + "/.local/state/quillwork";
    return TRUE;
}

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
    for (struct dirent* pEntry = readdir(dir.p); pEntry != NULL; pEntry = readdir(dir.p)) {
        if (strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0)
            continue;
        struct stat st;
        if (fstatat(folder.Get(), pEntry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone since the listing
        QW_ENTRY entry;
        entry.strName = pEntry->d_name;
        entry.nKind = KindOf(st.st_mode);
        entry.tWritten = st.st_mtime;
        entry.nSize = (unsigned long long)st.st_size;
        entries.push_back(entry);
    }
    return TRUE;
}

BOOL QwRemoveFileIn(const std::string& strFolder, const std::string& strSub, const std::string& strFile)
{
    CFd sub(OpenSubFolder(strFolder, strSub));
    struct stat st;
    if (sub.Get() < 0 || fstatat(sub.Get(), strFile.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return FALSE;
    return unlinkat(sub.Get(), strFile.c_str(), 0) == 0 ? TRUE : FALSE;
}

BOOL QwRemoveEmptyFolderIn(const std::string& strFolder, const std::string& strSub)
{
    CFd folder(OpenFolder(strFolder, FALSE));
    if (folder.Get() < 0 || strSub.empty() || strSub.find('/') != std::string::npos)
        return FALSE;
    // AT_REMOVEDIR never follows a link: a link by that name is not a folder.
    return unlinkat(folder.Get(), strSub.c_str(), AT_REMOVEDIR) == 0 ? TRUE : FALSE;
}

unsigned long long QwFileSize(FILE* pFile)
{
    struct stat st;
    return fstat(fileno(pFile), &st) == 0 && st.st_size > 0 ? (unsigned long long)st.st_size : 0;
}

BOOL QwIsPlainFile(FILE* pFile, const char* pszPath)
{
    struct stat stOpen, stPath;
    if (pFile == NULL)
        return lstat(pszPath, &stPath) != 0 ? (errno == ENOENT ? TRUE : FALSE) : (S_ISREG(stPath.st_mode) ? TRUE : FALSE);
    if (fstat(fileno(pFile), &stOpen) != 0 || lstat(pszPath, &stPath) != 0)
        return FALSE;
    return S_ISREG(stOpen.st_mode) && S_ISREG(stPath.st_mode) && stOpen.st_dev == stPath.st_dev
           && stOpen.st_ino == stPath.st_ino;
}
