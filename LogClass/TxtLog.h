// CTxtLog: the text log behind ILogObject. It owns the day folder, the log
// file, the lock and the console mirror, and lays out every entry.
#ifndef QUILLWORK_TXTLOG_H
#define QUILLWORK_TXTLOG_H

#include "Quillwork.h"
#include "DumpText.h"
#include "EntryQueue.h"
#include "LogFolder.h"
#include "Platform.h"
#include "RollOver.h"
#include "Stamp.h"
#include "WinConsole.h"

#include <stdio.h>

#include <atomic>
#include <string>

class CTxtLog : public ILogObject
{
public:
    // Finds the host folder, reads Quillwork.ini, finds or makes the day folder
    // and cleans old ones as configured. Throws only std::bad_alloc, having
    // given back everything it took.
    CTxtLog();

    virtual BOOL Open(const char* pszName);
    virtual BOOL Close();
    virtual BOOL ShowConsole(BOOL bShow);
    virtual void Release();
    virtual BOOL WriteLog(const char* pszFormat, ...);
    virtual BOOL WriteSilent(const char* pszFormat, ...);
    virtual BOOL WriteHex(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex);

    // Closes any open file and frees the console, then deletes the lock.
    virtual ~CTxtLog();

private:
    friend class CTxtLogProbe;  // lets the unit tests read the members
    friend class CForkGuard;    // takes the lock around fork()

    // Holds the object's lock for one scope.
    class CLockScope
    {
    public:
        explicit CLockScope(CTxtLog& log);
        ~CLockScope();

    private:
        CLockScope(const CLockScope&);
        CLockScope& operator=(const CLockScope&);
        CTxtLog& m_log;
    };

    // Declared before the entry's lock scope: once that lock is given back,
    // cleans the log folder if the entry moved the object to a new file.
    class CCleanAfterMove
    {
    public:
        explicit CCleanAfterMove(CTxtLog& log) : m_log(log) {}
        ~CCleanAfterMove() { m_log.CleanAfterMove(); }

    private:
        CCleanAfterMove(const CCleanAfterMove&);
        CCleanAfterMove& operator=(const CCleanAfterMove&);
        CTxtLog& m_log;
    };

    // A dump's lines laid out before the object's lock is taken, in memory of
    // their own after room for a stamp of the usual length, so that a thread
    // laying out a large dump does not hold the lock meanwhile. Empty when the
    // dump is small or past what one batch of the queue takes, or when there is
    // no memory for it.
    class CEarlyDump
    {
    public:
        // nStamp: the length of the stamp the dump will get (its indent).
        CEarlyDump(const unsigned char* pData, unsigned int nSize, BOOL bHex, size_t nStamp);
        ~CEarlyDump();
        // The whole entry with the stamp of nStamp bytes at pszStamp put in front;
        // NULL when there is no early text or the stamp's length is not the one
        // it made room for (the dump is then laid out again under the lock).
        const char* WithStamp(const char* pszStamp, size_t nStamp);
        size_t Length() const { return m_nLen; }

    private:
        CEarlyDump(const CEarlyDump&);
        CEarlyDump& operator=(const CEarlyDump&);
        char* m_p;
        size_t m_nLen;
        size_t m_nStamp;
    };

    void Lock();
    void Unlock();
    void Construct();
    BOOL CreateLogDir();
    void ReadHostFolder();
    void ReadConsoleSetting();
    BOOL BuildFilePath(const char* pszName, std::string& strPath);
    // Writes text to the file, then the console. Kept as the class has always had
    // it; no entry uses it now (they go through PutEntry and the Show* functions).
    BOOL WriteText(const char* psz);
    BOOL WriteText(const char* psz, unsigned int nLen);
    size_t FormatStamp(char* pszStamp, const QW_CLOCK_READING& now, const char* pszTail);
    // Writes the opening banner to the file and the console; FALSE when the file
    // did not take it whole.
    BOOL WriteBanner();
    void MoveIfDue(time_t tNow, unsigned long long nEntry = 0);
    void CleanAfterMove();
    BOOL PutEntry(const char* p, size_t nLen);
    BOOL SyncEntry();
    void EchoEntry(const char* p, size_t nLen);
    void SyncFolders();
    char* EntryBuffer(unsigned long long nNeed);
    void ReleaseEntryBuffer(char* p);
    BOOL DumpHex(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex);
    bool Combines() const;
    bool QueueMessage(const char* pszFormat, va_list args, CEntryQueue::QW_TICKET& ticket);
    size_t LayOutMessage(char* pEntry, const QW_CLOCK_READING& now, const char* pszFormat, va_list args, size_t& nStamp,
                         size_t& nMessage);
    bool QueueDump(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex, CEarlyDump& early,
                   CEntryQueue::QW_TICKET& ticket);
    // A dump laid out part by part in one buffer: what it shows, where it stands.
    struct CDumpParts
    {
        const unsigned char* pData;
        unsigned int nSize;
        BOOL bHex;
        char szStamp[CStamp::STAMP_MAX];
        size_t nStamp;
        unsigned int nIndent;
        unsigned int nLines;
        unsigned int nPerPart;  // lines a part holds
        unsigned int nNext;     // the first line of the next part
        char* pBuffer;
        bool bFirst;            // the last part made holds line 0
        bool bLast;             // ... and the last line
    };
    bool WriteEarly(CEarlyDump& early, BOOL bOut);
    void DumpInParts(CDumpParts& parts);
    static size_t NextDumpPart(void* pContext, const char** pp);
    void EchoParts(CDumpParts& parts);
    void ShowMessage(const char* pszStamp, size_t nStamp, const char* pszMessage, size_t nMessage);
    void ShowDump(const char* p, size_t nLen, size_t nStamp, unsigned int nIndent, bool bFirst, bool bLast);

    std::string m_strAppDir;
    std::string m_strLogDir;
    BOOL m_bConsole;
    FILE* m_pFile;
    // The object's lock. It guards every member below that is not atomic or
    // marked otherwise: the file (m_pFile, m_strLogDir, m_folder's folder in use),
    // the console and m_bConsole, the roll-over state, m_szEntry and the stamp
    // text, and the queue's pending batch (see CEntryQueue). Writes of the queue's
    // batches, the cleaning of the log folder and WriteSilent's wait run outside it;
    // an entry written past the queue (by a thread that has the object to itself,
    // by every thread where the platform does not gather appends, or with the
    // console or a setting that acts on each entry) is written under it, and so
    // is the readability check of a small dump. A dump of more than
    // 256 bytes is laid out before it (CEarlyDump): only its stamp and the copy
    // into the batch are made under it.
    //
    // It is recursive because Open and Close, holding it, call ShowConsole, which
    // takes it for itself as the public entry it also is; nothing else takes it
    // twice, and CEntryQueue::Drain, which leaves and retakes it while a write is
    // in flight, expects it held exactly once.
    //
    // Lock order, never taken the other way round: this lock, then the process's
    // console share (CConsoleShare, taken by m_console.Show), then the process's
    // append guard (QwAppendWhole and QwAppendRun of the entries written under
    // this lock). The queue's sleeping mutex and a POSIX terminal's state are
    // leaves: nothing is taken while they are held.
    QW_LOCK m_cs;
    CWinConsole m_console;
    CLogFolder m_folder;        // DIR and retention settings, the log folder in use
    std::string m_strExeName;   // the host executable's name (without extension on Windows)
    // Mirrors m_pFile != NULL for the cheap unlocked test of the writers;
    // written under the lock by Open and Close.
    std::atomic<bool> m_bFileOpen;
    // [LOG] SYNC=1: each entry on stable storage before its call returns.
    BOOL m_bSync;
    // [LOG] ECHO=1: each entry also on the developer channel.
    BOOL m_bEcho;
    // [LOG] CRASH=1: while a file is open, a crash of the process gives it an
    // entry (CCrashReport watches m_pFile under m_cs).
    BOOL m_bCrash;
    CRollOver m_roll;                  // DAILY and MAXFILEMB: when to move to a new file
    std::atomic<bool> m_bCleanDue;     // a move happened; the folder awaits cleaning

    // Entries on their way to the file while the console is off: laid out
    // under the lock, written outside it (see CEntryQueue). Whatever writes
    // past it (the console, a large dump, Open and Close) drains it first.
    CEntryQueue m_queue;

    // An entry written past the queue: its file bytes gather here and go out in
    // one write. A dump too large for it gets a buffer from the heap: for its
    // one write up to DUMP_WRITE_MAX bytes of text, for each of its parts beyond that.
    enum { ENTRY_SIZE = 32768, DUMP_WRITE_MAX = 4 << 20 };
    char m_szEntry[ENTRY_SIZE];

    // STAMP and THREAD, and the date and time text of the last second stamped.
    CStamp m_stamp;
};

// True when pszName would leave the day folder: it holds a path separator
// ('\\' or '/') or, on Windows, a drive colon.
bool QwNameLeavesFolder(const char* pszName);

#endif
