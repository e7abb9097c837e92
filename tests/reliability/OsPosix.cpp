// The POSIX side of Os.h.
#include "Os.h"

#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qwrel {

unsigned AnsiCodePage() { return 0; }

std::string SelfPath()
{
    char sz[PATH_MAX] = { 0 };
    ssize_t n = readlink("/proc/self/exe", sz, sizeof(sz) - 1);
    return std::string(sz, n > 0 ? (size_t)n : 0);
}

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
