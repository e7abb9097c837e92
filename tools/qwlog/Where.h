// qwlog where: which settings file a host gets, the log folder it uses and the
// keys in force, found by the library's own settings and folder code.
#ifndef QWLOG_WHERE_H
#define QWLOG_WHERE_H

#include <string>

namespace qwlog {

// Prints for the host executable strHost (or the one executable in the folder
// strHost, "" for the current folder) what the library would find: the
// settings file and every location looked at, the log folder (with the
// per-user fallback and its reason) and the keys in force. Folders the search
// makes on the way are removed again. Returns the exit status: 0, or 2 when no
// host executable can be named.
int Where(const std::string& strHost);

}  // namespace qwlog

#endif
