// The POSIX side of Os.h.
#include "Os.h"

#include <dirent.h>
#include <ftw.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace qwrel {

const char SEP = '/';

bool IsWindows() { return false; }

unsigned AnsiCodePage() { return 0; }

size_t MessageLimit() { return 2047; }

void UseUtc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}

std::string SelfPath()
{
    char sz[PATH_MAX] = { 0 };
    ssize_t n = readlink("/proc/self/exe", sz, sizeof(sz) - 1);
    return std::string(sz, n > 0 ? (size_t)n : 0);
}

void UsePerUserFolder(const std::string& strFolder) { setenv("XDG_STATE_HOME", strFolder.c_str(), 1); }

std::string CurrentDir()
{
    char sz[PATH_MAX] = { 0 };
    return getcwd(sz, sizeof(sz)) != NULL ? sz : ".";
}

bool MakeDir(const std::string& strPath) { return mkdir(strPath.c_str(), 0777) == 0; }

std::vector<std::string> ListDir(const std::string& strPath)
{
    std::vector<std::string> names;
    DIR* pDir = opendir(strPath.c_str());
    if (pDir == NULL)
        return names;
    while (struct dirent* p = readdir(pDir))
        if (strcmp(p->d_name, ".") != 0 && strcmp(p->d_name, "..") != 0)
            names.push_back(p->d_name);
    closedir(pDir);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDir(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& strPath)
{
    struct stat st;
    return lstat(strPath.c_str(), &st) == 0;
}

namespace {
int RemoveOne(const char* pszPath, const struct stat*, int, struct FTW*) { return remove(pszPath); }
} // namespace

void RemoveTree(const std::string& strPath) { nftw(strPath.c_str(), &RemoveOne, 16, FTW_DEPTH | FTW_PHYS); }

long ProcessId() { return (long)getpid(); }

struct Child::Impl
{
    pid_t pid;
    int fd;
};

Child::Child(const std::vector<std::string>& args)
    : m_p(new Impl())
{
    m_p->pid = -1;
    m_p->fd = -1;
    int fds[2];
    if (pipe(fds) != 0)
        return;
    std::string strSelf = SelfPath();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(strSelf.c_str()));
    for (size_t i = 0; i < args.size(); ++i)
        argv.push_back(const_cast<char*>(args[i].c_str()));
    argv.push_back(NULL);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execv(strSelf.c_str(), &argv[0]);
        _exit(127);
    }
    close(fds[1]);
    m_p->pid = pid;
    m_p->fd = fds[0];
}

Child::~Child()
{
    Kill();
    if (m_p->fd >= 0)
        close(m_p->fd);
    delete m_p;
}

bool Child::Started() const { return m_p->pid > 0; }

bool Child::Fill()
{
    char buf[4096];
    ssize_t n = read(m_p->fd, buf, sizeof(buf));
    if (n <= 0)
        return false;
    m_strPending.append(buf, (size_t)n);
    return true;
}

void Child::Kill()
{
    if (m_p->pid <= 0)
        return;
    kill(m_p->pid, SIGKILL);
    int nStatus = 0;
    waitpid(m_p->pid, &nStatus, 0);
    m_p->pid = -1;
}

void Pause(unsigned nMicroseconds) { usleep(nMicroseconds); }

} // namespace qwrel
