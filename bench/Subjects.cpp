// The library object and the floor writers.
#include "Subjects.h"

#include "BenchFile.h"
#include "Payload.h"
#include "Quillwork.h"
#include "QwLoader.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include <atomic>
#include <thread>

namespace {

// A name no other object of this process used.
std::string UniqueTag(const char* pszKind)
{
    static std::atomic<int> s_nNext(0);
    char szTag[64];
    snprintf(szTag, sizeof(szTag), "qwbench_%s_%d", pszKind, s_nNext++);
    return szTag;
}

// The library object, through the seven-slot interface as a host holds it.
class CQuillworkSubject : public CBenchSubject
{
public:
    explicit CQuillworkSubject(ILogObject* pLog) : m_pLog(pLog) {}
    ~CQuillworkSubject() override
    {
        m_pLog->Close();
        m_pLog->Release();
        BenchRemove(m_strPath);
    }
    // Opens the file under a fresh name and finds where it went.
    bool Open()
    {
        std::string strTag = UniqueTag("qw");
        if (!m_pLog->Open(strTag.c_str()))
            return false;
        m_strPath = BenchFindFile(QwHostFolder() + QwSeparator() + "Log", "_" + strTag + ".log");
        return !m_strPath.empty();
    }
    void Entry() override { m_pLog->WriteLog(QW_ENTRY_FORMAT, QW_ENTRY_VALUE); }
    void Dump(const unsigned char* pData, unsigned int nSize) override { m_pLog->WriteHex(pData, nSize, 1, 1); }
    const std::string& Path() const override { return m_strPath; }

private:
    ILogObject* m_pLog;
    std::string m_strPath;
};

// The lock of the floor that writes one thread at a time: a spin on one flag,
// yielding the processor after a while, the least a writer that orders its own
// appends must pay (no system call while the holder's write is short).
class CFloorLock
{
public:
    void Enter()
    {
        for (unsigned int nTries = 0; m_bTaken.exchange(true, std::memory_order_acquire);)
            while (m_bTaken.load(std::memory_order_relaxed))
                if (++nTries > 100)
                    std::this_thread::yield();
    }
    void Leave() { m_bTaken.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_bTaken{ false };
};

// Plain append writes of the library's own bytes (or, for QW_FLOOR_FORMAT, of
// a stamp and message it formats itself).
class CFloorSubject : public CBenchSubject
{
public:
    CFloorSubject(QW_FLOOR_KIND nKind, const std::string& strPath, QW_BENCH_FILE hFile, bool bSync)
        : m_nKind(nKind), m_strPath(strPath), m_hFile(hFile), m_bSync(bSync) {}
    ~CFloorSubject() override
    {
        BenchClose(m_hFile);
        BenchRemove(m_strPath);
    }
    void Entry() override
    {
        const QW_PAYLOAD& payload = BenchPayload();
        if (m_nKind == QW_FLOOR_FORMAT)
            FormatAndWrite();
        else if (m_nKind == QW_FLOOR_PIECES)
            WritePieces(payload.entryPieces);
        else
            WriteOne(payload.strEntry.data(), payload.strEntry.size());
        if (m_bSync)
            BenchSync(m_hFile);
    }
    void Dump(const unsigned char*, unsigned int nSize) override
    {
        const QW_PAYLOAD& payload = BenchPayload();
        if (m_nKind == QW_FLOOR_PIECES) {
            WritePieces(payload.dumpPieces.at(nSize));
        } else {
            const std::string& strDump = payload.dumps.at(nSize);
            WriteOne(strDump.data(), strDump.size());
        }
        if (m_bSync)
            BenchSync(m_hFile);
    }
    const std::string& Path() const override { return m_strPath; }

private:
    // One call for the whole text; for QW_FLOOR_ONE_LOCKED under the process's
    // floor lock, as a writer must make it that keeps every byte where the
    // system does not order the appends of several threads (Wine does not).
    void WriteOne(const char* p, size_t nLen)
    {
        static CFloorLock s_lock;
        if (m_nKind == QW_FLOOR_ONE_LOCKED)
            s_lock.Enter();
        BenchWrite(m_hFile, p, nLen);
        if (m_nKind == QW_FLOOR_ONE_LOCKED)
            s_lock.Leave();
    }
    void WritePieces(const std::vector<std::string>& pieces)
    {
        for (const std::string& strPiece : pieces)
            BenchWrite(m_hFile, strPiece.data(), strPiece.size());
    }
    // What a logger that writes each entry in one call must do at the least.
    void FormatAndWrite()
    {
        char szEntry[2048 + 32];
        struct tm tmNow;
        BenchLocalTime(time(NULL), &tmNow);
        size_t nLen = strftime(szEntry, sizeof(szEntry), "%Y-%m-%d %H:%M:%S  ", &tmNow);
        int nMessage = snprintf(szEntry + nLen, sizeof(szEntry) - nLen - 4, QW_ENTRY_FORMAT, QW_ENTRY_VALUE);
        nLen += nMessage > 0 ? (size_t)nMessage : 0;
        memcpy(szEntry + nLen, "\r\n\r\n", 4);
        BenchWrite(m_hFile, szEntry, nLen + 4);
    }

    QW_FLOOR_KIND m_nKind;
    std::string m_strPath;
    QW_BENCH_FILE m_hFile;
    bool m_bSync;
};

// A library object made while Quillwork.ini beside the program says SYNC=1
// (read once, at construction); whatever the folder held before is put back.
ILogObject* CreateSynced()
{
    const std::string strIni = QwHostFolder() + QwSeparator() + "Quillwork.ini";
    const bool bHadIni = BenchFileSize(strIni) >= 0;
    const std::string strOld = bHadIni ? BenchReadFrom(strIni, 0) : std::string();
    auto fnWrite = [&strIni](const std::string& strText) {
        FILE* pFile = fopen(strIni.c_str(), "wb");
        if (pFile != NULL) {
            fwrite(strText.data(), 1, strText.size(), pFile);
            fclose(pFile);
        }
    };
    fnWrite("[LOG]\nSYNC=1\n");
    ILogObject* pLog = CreateLogObject(0);
    if (bHadIni)
        fnWrite(strOld);
    else
        BenchRemove(strIni);
    return pLog;
}

} // namespace

std::unique_ptr<CBenchSubject> MakeQuillwork(bool bSync)
{
    ILogObject* pLog = bSync ? CreateSynced() : CreateLogObject(0);
    if (pLog == NULL)
        return nullptr;
    std::unique_ptr<CQuillworkSubject> pSubject(new CQuillworkSubject(pLog));
    if (!pSubject->Open())
        return nullptr;
    return std::unique_ptr<CBenchSubject>(pSubject.release());
}

std::unique_ptr<CBenchSubject> MakeFloor(QW_FLOOR_KIND nKind, bool bSync)
{
    if (BenchPayload().strEntry.empty())
        return nullptr;
    std::string strPath = BenchFolder() + QwSeparator() + UniqueTag("floor") + ".log";
    QW_BENCH_FILE hFile = BenchOpenAppend(strPath);
    if (hFile == QW_NO_FILE)
        return nullptr;
    return std::unique_ptr<CBenchSubject>(new CFloorSubject(nKind, strPath, hFile, bSync));
}
