// The peers: spdlog and glog, each set up to write the library's entry bytes
// and to flush after every message, as the library does.
#ifndef QW_PEERS_H
#define QW_PEERS_H

#include "Subjects.h"

// spdlog: a file sink behind a thread-safe logger, a pattern giving the
// library's bytes, a flush after every message. Dumps are spdlog::to_hex.
std::unique_ptr<CBenchSubject> MakeSpdlog();
// glog: buffering off (logbuflevel -1, logbufsecs 0), a prefix giving the
// library's stamp. Only one can live at a time (glog is process-wide); no dumps.
std::unique_ptr<CBenchSubject> MakeGlog(const char* pszArgv0);

#endif
