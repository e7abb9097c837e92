// What the reliability suites need from the OS beyond the shared scaffold, one
// file per platform: the code page, and a child process on a pipe.
#ifndef QW_REL_OS_H
#define QW_REL_OS_H

#include <stddef.h>

#include <string>
#include <vector>

namespace qwrel {

// The process's ANSI code page on Windows (932 for Japanese); 0 elsewhere.
unsigned AnsiCodePage();
// The running program's full path.
std::string SelfPath();


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
