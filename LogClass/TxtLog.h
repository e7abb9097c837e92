// CTxtLog: the text log behind ILogObject. It owns the day folder, the log
// file, the lock and the console mirror, and lays out every entry.
#ifndef QUILLWORK_TXTLOG_H
#define QUILLWORK_TXTLOG_H

#include "Quillwork.h"
#include "EntryText.h"
#include "HandIn.h"
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

    void Lock();
    void Unlock();
    void Construct();
    BOOL CreateLogDir();
    void ReadHostFolder();
    void ReadConsoleSetting();
    BOOL BuildFilePath(const char* pszName, std::string& strPath);
    void ShowConsoleLocked(BOOL bShow);
    // Writes the opening banner to the file and the console; FALSE when the file
    // did not take it whole.
    BOOL WriteBanner();
    void MoveIfDue(time_t tNow, unsigned long long nEntry = 0);
    void CleanAfterMove();
    void Write(CEntryText& entry);
    void WriteEntries(CHandIn::QW_PENDING* pFirst);
    void FlushGathered(size_t& nGathered, CHandIn::QW_PENDING*& pFrom, CHandIn::QW_PENDING* pTo);
    void WriteEntry(CEntryText& entry, DWORD nThread);
    void PassOn(CEntryText& entry);
    void Spread(CEntryText& entry);
    void AppendEntry(CEntryText& entry);
    BOOL SyncEntry();
    void EchoEntry(CEntryText& entry);
    void SyncFolders();

    std::string m_strAppDir;
    std::string m_strLogDir;
    BOOL m_bConsole;
    FILE* m_pFile;
    // The object's lock, a standard one (a pthread mutex, a critical section):
    // not recursive, and held by one thread at a time for no more than the
    // way to the file of the entries handed in so far (WriteEntries), or the
    // work of Open, Close and ShowConsole. It guards every member below that is
    // not atomic or marked otherwise: the file (m_pFile, m_strLogDir, m_folder's
    // folder in use), the console and m_bConsole, the roll-over state and the
    // stamp's text. An entry is laid out before it is taken (CEntryText); the
    // cleaning of the log folder runs after it is given back.
    //
    // Lock order, never taken the other way round: this lock, then the process's
    // console share (CConsoleShare, taken by m_console.Show), then the process's
    // append guard (CLogAppend, taken inside its calls). A POSIX terminal's state is a
    // leaf: nothing is taken while it is held.
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

    // STAMP and THREAD, and the date and time text of the last second stamped.
    CStamp m_stamp;
    // The entries handed in and not yet written: handed in without a lock, taken
    // and written under m_cs.
    CHandIn m_handIn;
};

#endif
