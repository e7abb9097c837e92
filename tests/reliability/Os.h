// What the reliability suites need from the OS, one file per platform:
// folders and a child process on a pipe.
#ifndef QW_REL_OS_H
#define QW_REL_OS_H

#include <stddef.h>

#include <string>
#include <vector>

namespace qwrel {

extern const char SEP;  // the path separator

// Facts of the platform the suites' expectations depend on.
bool IsWindows();
// The process's ANSI code page on Windows (932 for Japanese); 0 elsewhere.
unsigned AnsiCodePage();
// The longest message an entry keeps: the message buffer less its terminator.
size_t MessageLimit();

// Local time becomes UTC for this process.
void UseUtc();
// The library's per-user folder (XDG_STATE_HOME, LOCALAPPDATA) becomes strFolder.
void UsePerUserFolder(const std::string& strFolder);
// The running program's full path.
std::string SelfPath();
// The current folder, without a trailing separator.
std::string CurrentDir();
bool MakeDir(const std::string& strPath);
// Names in a folder, "." and ".." left out, sorted; empty when it cannot be listed.
std::vector<std::string> ListDir(const std::string& strPath);
bool IsDir(const std::string& strPath);
bool Exists(const std::string& strPath);
// Removes a file or a folder with everything below it.
void RemoveTree(const std::string& strPath);
// A number of this process, for names no other run uses.
long ProcessId();


// This program started again with the given arguments, its standard output
// on a pipe the parent reads line by line.
class Child
{
public:
    explicit Child(const std::vector<std::string>& args);
    ~Child();
    bool Started() const;
    // The next line without its end; FALSE at the end of the output.
    bool ReadLine(std::string& strLine);
    // Ends the child at once (SIGKILL, TerminateProcess) and waits for it.
    void Kill();

private:
    Child(const Child&);
    Child& operator=(const Child&);
    bool Fill();
    struct Impl;
    Impl* m_p;
    std::string m_strPending;
};

// Pauses for nMicroseconds.
void Pause(unsigned nMicroseconds);

} // namespace qwrel

#endif
