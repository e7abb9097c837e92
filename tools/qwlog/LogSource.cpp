#include "LogSource.h"

#include "Platform.h"

#include <cerrno>
#include <cstring>

namespace qwlog {

LogSource::LogSource(const std::string& strPath, Parser::ReportFn fnReport, bool bKeepDumpLines)
    : m_strPath(strPath), m_fnReport(fnReport), m_bKeepDumpLines(bKeepDumpLines),
      m_parser(strPath, fnReport, bKeepDumpLines)
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
        m_fnReport(0, LastErrorText());
        return false;
    }
    if (IsDirectory(m_pFile)) {
        m_fnReport(0, "is a folder, not a log file");
        std::fclose(m_pFile);
        m_pFile = nullptr;
        return false;
    }
    uint64_t nSize = 0;
    IdOfOpen(m_pFile, m_id, nSize);
    m_pReader.reset(new LineReader(m_pFile));
    return true;
}

void LogSource::Suspend()
{
    if (m_pFile == nullptr || m_pReader == nullptr)
        return;
    m_pReader->Detach();
    std::fclose(m_pFile);
    m_pFile = nullptr;
}

bool LogSource::Resume()
{
    if (m_pFile != nullptr || m_pReader == nullptr)
        return m_pFile != nullptr;
    m_pFile = OpenForReading(m_strPath);
    FileId id;
    uint64_t nSize = 0;
    std::string strWhy = m_pFile == nullptr ? LastErrorText() : "";
    if (m_pFile != nullptr && (!IdOfOpen(m_pFile, id, nSize) || !(id == m_id)))
        strWhy = "another file has taken its name";
    else if (m_pFile != nullptr && !SeekTo(m_pFile, m_pReader->Consumed()))
        strWhy = LastErrorText();
    if (!strWhy.empty()) {
        m_fnReport(0, "could not be opened again to read on: " + strWhy);
        if (m_pFile != nullptr)
            std::fclose(m_pFile);
        m_pFile = nullptr;
        m_pReader.reset();
        return false;
    }
    m_pReader->Attach(m_pFile);
    return true;
}

void LogSource::StartOver(std::FILE* pFile)
{
    m_pFile = pFile;
    uint64_t nSize = 0;
    IdOfOpen(m_pFile, m_id, nSize);
    m_pReader->Restart(m_pFile);
    m_parser = Parser(m_strPath, m_fnReport, m_bKeepDumpLines);
    m_bFinished = false;
}

bool LogSource::RestartIfTruncated()
{
    FileId id;
    uint64_t nSize = 0;
    if (m_pFile == nullptr || !IdOfOpen(m_pFile, id, nSize) || nSize >= m_pReader->Consumed())
        return false;
    m_fnReport(0, "file truncated; reading it again from its start");
    SeekTo(m_pFile, 0);
    StartOver(m_pFile);
    return true;
}

bool LogSource::Replaced() const
{
    FileId idOpen, idNamed;
    uint64_t nSize = 0;
    return m_pFile != nullptr && IdOfOpen(m_pFile, idOpen, nSize) && IdOfPath(m_strPath, idNamed) &&
           !(idOpen == idNamed);
}

bool LogSource::SwitchToNamed()
{
    std::FILE* pNew = OpenForReading(m_strPath);
    if (pNew == nullptr)
        return false;
    m_fnReport(0, "replaced by a new file of that name; following the new one from its start");
    std::fclose(m_pFile);
    StartOver(pNew);
    return true;
}

bool LogSource::Next(Record& record)
{
    if (m_pReader == nullptr)
        return false;
    Line line;
    while (!m_parser.Pop(record)) {
        if (m_bFinished || m_parser.Rejected() || (m_pFile == nullptr && !Resume()))
            return false;
        if (m_pReader->Next(line)) {
            m_parser.Feed(line);
        } else {
            FinishNow();
            Suspend();  // read to its end: its descriptor is free for others
        }
    }
    return true;
}

void LogSource::FinishNow()
{
    if (m_bFinished || m_pReader == nullptr)
        return;
    m_parser.Finish(m_pReader->Pending(), m_pReader->PendingNumber());
    m_bFinished = true;
}

bool LogSource::NextSoFar(Record& record)
{
    if (m_pReader == nullptr || m_bFinished)
        return m_parser.Pop(record);
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
