// The Windows side of Os.h.
#include "Os.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>

namespace qwrel {

const char SEP = '\\';

bool IsWindows() { return true; }

unsigned AnsiCodePage() { return GetACP(); }

size_t MessageLimit() { return 2047; }

void UseUtc()
{
    _putenv("TZ=UTC0");
    _tzset();
}

std::string SelfPath()
{
    char sz[MAX_PATH] = { 0 };
    GetModuleFileNameA(NULL, sz, MAX_PATH);
    return sz;
}

void UsePerUserFolder(const std::string& strFolder) { SetEnvironmentVariableA("LOCALAPPDATA", strFolder.c_str()); }

std::string CurrentDir()
{
    char sz[MAX_PATH] = { 0 };
    GetCurrentDirectoryA(MAX_PATH, sz);
    return sz;
}

bool MakeDir(const std::string& strPath) { return CreateDirectoryA(strPath.c_str(), NULL) != 0; }

std::vector<std::string> ListDir(const std::string& strPath)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((strPath + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0)
            names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDir(const std::string& strPath)
{
    DWORD dw = GetFileAttributesA(strPath.c_str());
    return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const std::string& strPath) { return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& strPath)
{
    if (!IsDir(strPath)) {
        DeleteFileA(strPath.c_str());
        return;
    }
    std::vector<std::string> names = ListDir(strPath);
    for (size_t i = 0; i < names.size(); ++i)
        RemoveTree(strPath + "\\" + names[i]);
    RemoveDirectoryA(strPath.c_str());
}

long ProcessId() { return (long)GetCurrentProcessId(); }

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
