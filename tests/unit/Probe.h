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
};

#endif
