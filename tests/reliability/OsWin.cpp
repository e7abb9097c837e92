// The Windows side of Os.h.
#include "Os.h"

#include <windows.h>

#include <string.h>

namespace qwrel {

unsigned AnsiCodePage() { return GetACP(); }

std::string SelfPath()
{
    char sz[MAX_PATH] = { 0 };
    GetModuleFileNameA(NULL, sz, MAX_PATH);
    return sz;
}

struct Child::Impl
{
    PROCESS_INFORMATION pi;
    HANDLE hRead;
    bool bRunning;
};

Child::Child(const std::vector<std::string>& args)
    : m_p(new Impl())
{
    memset(&m_p->pi, 0, sizeof(m_p->pi));
    m_p->hRead = NULL;
    m_p->bRunning = false;
    SECURITY_ATTRIBUTES sa = { sizeof(sa), NULL, TRUE };
    HANDLE hWrite = NULL;
    if (!CreatePipe(&m_p->hRead, &hWrite, &sa, 0))
        return;
    SetHandleInformation(m_p->hRead, HANDLE_FLAG_INHERIT, 0);
    std::string strCmd = "\"" + SelfPath() + "\"";
    for (size_t i = 0; i < args.size(); ++i)
        strCmd += " \"" + args[i] + "\"";
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = hWrite;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::vector<char> cmd(strCmd.begin(), strCmd.end());
    cmd.push_back('\0');
    m_p->bRunning = CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &m_p->pi) != 0;
    CloseHandle(hWrite);
}

Child::~Child()
{
    Kill();
    if (m_p->hRead != NULL)
        CloseHandle(m_p->hRead);
    delete m_p;
}

bool Child::Started() const { return m_p->bRunning; }

bool Child::Fill()
{
    char buf[4096];
    DWORD n = 0;
    if (!ReadFile(m_p->hRead, buf, sizeof(buf), &n, NULL) || n == 0)
        return false;
    m_strPending.append(buf, n);
    return true;
}

void Child::Kill()
{
    if (!m_p->bRunning)
        return;
    TerminateProcess(m_p->pi.hProcess, 9);
    WaitForSingleObject(m_p->pi.hProcess, INFINITE);
    CloseHandle(m_p->pi.hProcess);
    CloseHandle(m_p->pi.hThread);
    m_p->bRunning = false;
}

void Pause(unsigned nMicroseconds) { Sleep((nMicroseconds + 999) / 1000); }

} // namespace qwrel
