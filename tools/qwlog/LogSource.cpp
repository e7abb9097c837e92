#include "LogSource.h"

#include "Platform.h"

#include <cerrno>
#include <cstring>

namespace qwlog {

LogSource::LogSource(const std::string& strPath, Parser::ReportFn fnReport, bool bKeepDumpLines)
    : m_strPath(strPath), m_fnReport(fnReport), m_parser(strPath, fnReport, bKeepDumpLines)
{
}

LogSource::~LogSource()
{
    if (m_pFile != nullptr)
        std::fclose(m_pFile);
}

bool LogSource::Open()
{
    m_pFile = OpenForReading(m_strPath);
    if (m_pFile == nullptr) {
        m_fnReport(0, std::strerror(errno));
        return false;
    }
    if (IsDirectory(m_pFile)) {
        m_fnReport(0, "is a folder, not a log file");
        std::fclose(m_pFile);
        m_pFile = nullptr;
        return false;
    }
    m_pReader.reset(new LineReader(m_pFile));
    return true;
}

bool LogSource::Next(Record& record)
{
    if (m_pReader == nullptr)
        return false;
    Line line;
    while (!m_parser.Pop(record)) {
        if (m_bFinished || m_parser.Rejected())
            return false;
        if (m_pReader->Next(line)) {
            m_parser.Feed(line);
        } else {
            m_parser.Finish(m_pReader->Pending(), m_pReader->PendingNumber());
            m_bFinished = true;
        }
    }
    return true;
}

bool LogSource::NextSoFar(Record& record)
{
    if (m_pReader == nullptr)
        return false;
    Line line;
    while (!m_parser.Pop(record)) {
        if (m_parser.Rejected())
            return false;
        if (m_pReader->Next(line)) {
            m_parser.Feed(line);
        } else {
            m_parser.Idle();
            return m_parser.Pop(record);
        }
    }
    return true;
}

}  // namespace qwlog
