// spdlog and glog as benchmark subjects.
#include "Peers.h"

#include "BenchFile.h"
#include "Payload.h"
#include "QwLoader.h"

#include <spdlog/fmt/bin_to_hex.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <glog/logging.h>

#include <atomic>
#include <iomanip>

namespace {

class CSpdlogSubject : public CBenchSubject
{
public:
    CSpdlogSubject(const std::string& strPath, std::shared_ptr<spdlog::logger> pLogger)
        : m_strPath(strPath), m_pLogger(pLogger) {}
    ~CSpdlogSubject() override
    {
        m_pLogger.reset();
        BenchRemove(m_strPath);
    }
    void Entry() override { m_pLogger->info("{} items", QW_ENTRY_VALUE); }
    void Dump(const unsigned char* pData, unsigned int nSize) override
    {
        m_pLogger->info("{:X}", spdlog::to_hex(pData, pData + nSize, 16));
    }
    const std::string& Path() const override { return m_strPath; }

private:
    std::string m_strPath;
    std::shared_ptr<spdlog::logger> m_pLogger;
};

// The library's stamp, "YYYY-MM-DD HH:MM:SS"; glog puts one space after it.
void GlogPrefix(std::ostream& s, const google::LogMessageInfo& info, void*)
{
    const google::LogMessageTime& t = info.time;
    s << std::setfill('0') << std::setw(4) << 1900 + t.year() << '-' << std::setw(2) << 1 + t.month() << '-'
      << std::setw(2) << t.day() << ' ' << std::setw(2) << t.hour() << ':' << std::setw(2) << t.min() << ':'
      << std::setw(2) << t.sec() << ' ';
}

class CGlogSubject : public CBenchSubject
{
public:
    explicit CGlogSubject(const std::string& strPath) : m_strPath(strPath) {}
    ~CGlogSubject() override { BenchTruncate(m_strPath); }
    // glog ends each message with '\n': the '\r' before it completes "\r\n\r\n".
    void Entry() override { LOG(INFO) << QW_ENTRY_VALUE << " items\r\n\r"; }
    void Dump(const unsigned char*, unsigned int) override {}
    const std::string& Path() const override { return m_strPath; }

private:
    std::string m_strPath;
};

std::atomic<int> s_nSpdlog(0);

} // namespace

std::unique_ptr<CBenchSubject> MakeSpdlog()
{
    std::string strPath = BenchFolder() + "/spdlog_" + std::to_string(s_nSpdlog++) + ".log";
    try {
        auto pSink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(strPath, true);
        auto pLogger = std::make_shared<spdlog::logger>("qwbench", pSink);
        pLogger->set_formatter(std::unique_ptr<spdlog::formatter>(
            new spdlog::pattern_formatter("%Y-%m-%d %H:%M:%S  %v", spdlog::pattern_time_type::local, "\r\n\r\n")));
        pLogger->flush_on(spdlog::level::trace);
        return std::unique_ptr<CBenchSubject>(new CSpdlogSubject(strPath, pLogger));
    } catch (const spdlog::spdlog_ex&) {
        return nullptr;
    }
}

std::unique_ptr<CBenchSubject> MakeGlog(const char* pszArgv0)
{
    static bool s_bStarted = false;
    std::string strDir = BenchFolder() + "/glog";
    if (!s_bStarted) {
        if (!BenchMakeDirs(strDir))
            return nullptr;
        FLAGS_log_dir = strDir;
        FLAGS_logbuflevel = -1;
        FLAGS_logbufsecs = 0;
        FLAGS_logtostderr = false;
        FLAGS_alsologtostderr = false;
        FLAGS_stderrthreshold = google::GLOG_FATAL;
        google::InitGoogleLogging(pszArgv0, &GlogPrefix, NULL);
        s_bStarted = true;
        LOG(INFO) << "qwbench glog ready";  // creates the file and its link
    }
    // glog links <program>.INFO to the file it writes.
    std::string strName = pszArgv0;
    size_t nSep = strName.find_last_of('/');
    std::string strLink = strDir + "/" + (nSep == std::string::npos ? strName : strName.substr(nSep + 1)) + ".INFO";
    if (BenchFileSize(strLink) < 0)
        return nullptr;
    return std::unique_ptr<CBenchSubject>(new CGlogSubject(strLink));
}
