// CTxtLogProbe: the unit tests' view of a CTxtLog's members and private writers.
#ifndef QW_UNIT_PROBE_H
#define QW_UNIT_PROBE_H

#include "TxtLog.h"

#include <string>

class CTxtLogProbe
{
public:
    static CTxtLog* Of(ILogObject* pLog) { return static_cast<CTxtLog*>(pLog); }
    static const std::string& AppDir(ILogObject* pLog) { return Of(pLog)->m_strAppDir; }
    static const std::string& LogDir(ILogObject* pLog) { return Of(pLog)->m_strLogDir; }
    static BOOL Console(ILogObject* pLog) { return Of(pLog)->m_bConsole; }
    static FILE* File(ILogObject* pLog) { return Of(pLog)->m_pFile; }
    static const CLogFolder& Folder(ILogObject* pLog) { return Of(pLog)->m_folder; }
    // Whether the queue is idle, read under the object's lock: a thread that holds
    // the lock may hold the writer's role for a moment, as it drains.
    static bool QueueIdle(ILogObject* pLog)
    {
        CTxtLog::CLockScope lock(*Of(pLog));
        return Of(pLog)->m_queue.Idle();
    }
    static BOOL WriteText(ILogObject* pLog, const char* psz) { return Of(pLog)->WriteText(psz); }
    static BOOL WriteText(ILogObject* pLog, const char* psz, unsigned int nLen) { return Of(pLog)->WriteText(psz, nLen); }
};

#endif
