// The crash suite's host: what differs between the platforms.
#ifndef QW_CRASHHOST_H
#define QW_CRASHHOST_H

#include <string>

// A text that names the process's crash handlers now (the dispositions of the
// fatal signals, or the unhandled-exception filter), to compare two moments.
std::string HandlerState();
// Installs the host's own crash handler, which writes "host handler <tag>" to
// standard error; bEnd: it then ends the process with exit code 42, else it
// puts the system's action back and lets the crash go on.
void InstallHostHandler(const char* pszTag, bool bEnd);
// Writes to memory that is mapped read-only.
void WriteReadOnly();

#endif
