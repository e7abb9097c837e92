// CTxtLog: construction and folders, the file's life, and the output primitives.
#include "TxtLog.h"

#include "CrashReport.h"
#include "ForkGuard.h"
#include "Formatter.h"
#include "Framework.h"
#include "LogAppend.h"
#include "Settings.h"

#include <string.h>

#include <exception>

static const char THIS_FILE[] = "LogClass\\TxtLog.cpp";

namespace {

const char s_szBanner[] = "\r\n------\r\n";
const char s_szEntryEnd[] = "\r\n\r\n";
const WORD COLOR_BANNER = 9;
const WORD COLOR_NORMAL = 7;

} // namespace

CTxtLog::CLockScope::CLockScope(CTxtLog& log)
    : m_log(log)
{
    m_log.Lock();
}

CTxtLog::CLockScope::~CLockScope() { m_log.Unlock(); }

CTxtLog::CTxtLog()
    : m_bConsole(FALSE)
    , m_pFile(NULL)
    , m_bFileOpen(false)
    , m_bSync(FALSE)
    , m_bEcho(FALSE)
    , m_bCrash(FALSE)
    , m_bCleanDue(false)
{
    QwInitLock(&m_cs);
    try {
        Construct();
        CForkGuard::Add(this);
    } catch (...) {
        // Out of memory in the string work: the members free themselves, the
        // lock is the one thing to give back by hand.
        QwDeleteLock(&m_cs);
        throw;
    }
}

// The folder and configuration work of construction.
void CTxtLog::Construct()
{
    ReadHostFolder();
    ReadConsoleSetting();
    BOOL bFolders = CreateLogDir();
    QW_ASSERT(bFolders);
    if (bFolders)
        m_folder.Clean(m_strLogDir);
}

// Sets m_strAppDir to the folder of the host executable, without a trailing
// separator, and m_strExeName to its file name. The path is read whole, in a
// buffer that grows until it fits. A path that cannot be read or holds no
// separator is reported and gives "." (the current folder) rather than a
// folder at the drive's root.
void CTxtLog::ReadHostFolder()
{
    std::string strPath(QW_MAX_PATH, '\0');
    DWORD nLen = 0;
    for (;;) {
        nLen = QwModulePath(&strPath[0], (DWORD)strPath.size());
        if (nLen < strPath.size() || strPath.size() >= 0x100000)
            break;
        strPath.resize(strPath.size() * 2);
    }
    strPath.resize(nLen < strPath.size() ? nLen : 0);
    bool bSplit = CSettings::HostParts(strPath, m_strAppDir, m_strExeName);
    QW_ASSERT(bSplit);
}

// Finds and reads the settings file once (CSettings). m_bConsole becomes TRUE
// only when CONSOLE/OPEN is exactly 1, m_bSync, m_bEcho and m_bCrash when
// LOG/SYNC, LOG/ECHO and LOG/CRASH are; the other [LOG] settings go to
// m_folder, m_roll and m_stamp.
void CTxtLog::ReadConsoleSetting()
{
    CSettings settings;
    settings.Load(m_strAppDir, m_strExeName);
    m_bConsole = settings.Flag("CONSOLE", "OPEN");
    m_bSync = settings.Flag("LOG", "SYNC");
    m_bEcho = settings.Flag("LOG", "ECHO");
    m_bCrash = settings.Flag("LOG", "CRASH");
    m_folder.ReadSettings(settings);
    m_roll.ReadSettings(settings);
    m_stamp.ReadSettings(settings);
}

void CTxtLog::Lock() { QwEnterLock(&m_cs); }

void CTxtLog::Unlock() { QwLeaveLock(&m_cs); }

// Finds or makes the log folder and today's day folder (see CLogFolder) and
// sets m_strLogDir. FALSE when no day folder could be found or made.
BOOL CTxtLog::CreateLogDir()
{
    char szDate[20];
    memset(szDate, 0, sizeof(szDate));
    QwFormatNow(szDate, sizeof(szDate), "%Y-%m-%d");
    return m_folder.CreateLogDir(m_strAppDir, m_strExeName, szDate, m_strLogDir);
}

// Builds <day folder><sep>HHMMSS[_name][.log] into strPath. FALSE when the
// name would leave the folder or is not text of the code page; how long the
// path may be is the file system's business.
BOOL CTxtLog::BuildFilePath(const char* pszName, std::string& strPath)
{
    std::string strName;
    if (pszName != NULL && (QwNameLeavesFolder(pszName) || !QwNameToPath(pszName, strName)))
        return FALSE;
    if (m_roll.Daily())
        m_roll.FollowDay(QwTime(), m_folder, m_strLogDir);
    char szTime[20];
    memset(szTime, 0, sizeof(szTime));
    QwFormatNow(szTime, sizeof(szTime), "%H%M%S");
    std::string strTail;
    if (pszName == NULL)
        strTail = ".log";
    else if (QwFindLastChar(pszName, '.') != NULL)
        strTail = "_" + strName;
    else
        strTail = "_" + strName + ".log";
    strPath = m_strLogDir + QW_PATH_SEP_STR + szTime + strTail;
    m_roll.Opening(m_strLogDir, strPath, strTail);
    return TRUE;
}

BOOL CTxtLog::Open(const char* pszName)
{
    CQwNoCancel noCancel;
    std::string strOwnDay;  // the day folder, which an entry may move (DAILY)
    {
        CLockScope lock(*this);
        if (m_pFile != NULL)
            return TRUE;
        std::string strPath;
        try {
            if (!BuildFilePath(pszName, strPath)) {
                QwReportBadName(pszName, m_strLogDir);
                return FALSE;
            }
        } catch (const std::exception&) {
            QwReport("Quillwork: cannot open the file (no memory for its path)\n");
            return FALSE;
        }
        // Binary, so the file holds exactly the bytes of the entries (CR LF).
        m_pFile = m_folder.OpenInDay(m_strLogDir, strPath);
        if (m_pFile == NULL)
            return FALSE;
        m_bFileOpen = true;
        if (m_bCrash)
            CCrashReport::Watch(&m_pFile, &m_cs, m_stamp.Digits(), m_stamp.Thread());
        if (!WriteBanner())
            QwReportNoRoom(strPath, QwLastErrorText());
        SyncFolders();
        ShowConsoleLocked(m_bConsole);
        try {
            strOwnDay = m_strLogDir;
        } catch (const std::exception&) {
            return TRUE;  // no memory: the cleaning waits for the next time
        }
    }
    // Outside the lock: the object's writers never wait for the file system.
    m_folder.Clean(strOwnDay);
    return TRUE;
}

BOOL CTxtLog::Close()
{
    CQwNoCancel noCancel;
    CLockScope lock(*this);  // a writer holding it ends its entry first
    if (m_pFile != NULL) {
        m_bFileOpen = false;
        CCrashReport::Unwatch(&m_pFile);
        fclose(m_pFile);
        m_pFile = NULL;
    }
    ShowConsoleLocked(FALSE);
    return TRUE;
}

BOOL CTxtLog::ShowConsole(BOOL bShow)
{
    CQwNoCancel noCancel;
    CLockScope lock(*this);
    ShowConsoleLocked(bShow);
    return TRUE;
}

// Shows or stops showing the console and remembers the choice. Called under the lock.
void CTxtLog::ShowConsoleLocked(BOOL bShow)
{
    m_console.Show(bShow);
    m_bConsole = bShow;
}

void CTxtLog::Release()
{
    CQwNoCancel noCancel;
    this->~CTxtLog();
    QwFreeObject(this);
}

CTxtLog::~CTxtLog()
{
    CForkGuard::Remove(this);
    CTxtLog::Close();
    QwDeleteLock(&m_cs);
}

// Writes the opening banner in one write, then shows it in the banner colour.
// Called under the lock with a file open.
BOOL CTxtLog::WriteBanner()
{
    const size_t nBanner = sizeof(s_szBanner) - 1, nEnd = sizeof(s_szEntryEnd) - 1;
    char szBanner[sizeof(s_szBanner) + sizeof(s_szEntryEnd)];
    memcpy(szBanner, s_szBanner, nBanner);
    memcpy(szBanner + nBanner, s_szEntryEnd, nEnd);
    BOOL bWritten = CLogAppend::Whole(m_pFile, szBanner, nBanner + nEnd);
    m_roll.Wrote(nBanner + nEnd);
    if (!SyncEntry())
        bWritten = FALSE;
    if (!m_console.IsOpen())
        return bWritten;
    m_console.BeginEntry();
    m_console.SetColor(COLOR_BANNER);
    m_console.Write(s_szBanner, (DWORD)nBanner);
    m_console.Write(s_szEntryEnd, (DWORD)nEnd);
    m_console.SetColor(COLOR_NORMAL);
    m_console.EndEntry();
    return bWritten;
}

// Moves the object to the file the entry stamped tNow belongs in, when DAILY or
// MAXFILEMB ask for another one: the new file is opened (its folder made when
// missing), the current one closed, the banner written, and the object's day
// folder follows. Where the new file cannot be opened, the entries stay in the
// current one. nEntry: the entry's bytes where it may be large (a dump), else 0.
// Called under the lock at the start of each entry, a file open.
void CTxtLog::MoveIfDue(time_t tNow, unsigned long long nEntry)
{
    if (!m_roll.Enabled())
        return;
    try {
        std::string strDir, strPath, strWhy;
        if (!m_roll.Due(tNow, m_pFile, m_folder, strDir, strPath, nEntry))
            return;
        // QwOpenAppend refuses a link or FIFO planted at the name, a link at the
        // folder's, another user's file: the entries then stay where they are.
        FILE* pNew = QwOpenAppend(strPath.c_str(), &strWhy);
        m_roll.Moved(pNew != NULL, tNow, strDir, strPath);
        if (pNew == NULL) {
            QwReportRefused(strPath, strWhy);
            return;
        }
        fclose(m_pFile);
        m_pFile = pNew;
        m_strLogDir.swap(strDir);
        WriteBanner();
        SyncFolders();
        m_bCleanDue = true;
    } catch (const std::exception&) {
        // No memory for a path: the entries stay in the current file. (Nothing
        // else is caught: a thread's cancellation unwinds on.)
    }
}

// After a move, outside the lock: KEEPDAYS, and KEEPMB over every closed file
// of the log folder. Whichever thread comes first does it.
void CTxtLog::CleanAfterMove()
{
    if (!m_bCleanDue.load() || !m_bCleanDue.exchange(false))
        return;
    try {
        std::string strOwn;
        {
            CLockScope lock(*this);
            strOwn = m_strLogDir;
        }
        m_folder.CleanAfterMove(strOwn);
    } catch (const std::exception&) {
        // Out of memory: the next move cleans.
    }
}

// With SYNC=1, syncs the file after the last write of an entry, so that it and
// every write before it are on stable storage on return. TRUE when synced or
// not asked for.
BOOL CTxtLog::SyncEntry()
{
    return m_bSync ? QwOutput().SyncFile(m_pFile) : TRUE;
}

// With SYNC=1, syncs the folders a new file or folder may have been made in:
// the day folder (the file), the log folder (the day folder) and the folder
// that holds the log folder. Called by Open once its file is open.
void CTxtLog::SyncFolders()
{
    if (!m_bSync)
        return;
    std::string strFolder = m_strLogDir;
    for (int i = 0; i < 3 && !strFolder.empty(); ++i) {
        QwOutput().SyncFolder(strFolder);
        strFolder = QwHoldingFolder(strFolder);
    }
}


// ---- the entries ------------------------------------------------------------

// Hands the laid-out entry in, then, under the lock, writes it with every
// entry handed in so far, in the order they were handed in (and so stamped),
// unless a thread that held the lock before wrote it. Entries of a closed
// object are dropped. A move's cleaning runs once the lock is given back.
void CTxtLog::Write(CEntryText& entry)
{
    CCleanAfterMove clean(*this);
    CHandIn::QW_PENDING pending = { &entry, m_stamp.Owner(), NULL, false };
    m_handIn.Add(pending);
    CLockScope lock(*this);
    if (pending.bWritten)
        return;
    CHandIn::QW_PENDING* pFirst = m_handIn.Take();  // this thread's entry among them
    if (pFirst != NULL && m_pFile != NULL)  // not closed by another thread meanwhile
        WriteEntries(pFirst);
    for (CHandIn::QW_PENDING* p = pFirst; p != NULL; p = p->pNext)
        p->bWritten = true;
}

// Writes the entries from pFirst on, each on the road of WriteEntry. With
// several, the whole ones are gathered and appended together, then synced,
// echoed and shown in order; one that is not whole, or too large, is written
// alone in its place. With DAILY or MAXFILEMB each is written alone, so that a
// move comes between the right two entries and the size count stays exact.
void CTxtLog::WriteEntries(CHandIn::QW_PENDING* pFirst)
{
    if (pFirst->pNext == NULL || m_handIn.Buffer() == NULL || m_roll.Enabled()) {
        for (CHandIn::QW_PENDING* p = pFirst; p != NULL; p = p->pNext)
            WriteEntry(*p->pEntry, p->nThread);
        return;
    }
    size_t nGathered = 0;
    CHandIn::QW_PENDING* pFrom = pFirst;
    for (CHandIn::QW_PENDING* p = pFirst; p != NULL; p = p->pNext) {
        CEntryText& entry = *p->pEntry;
        char szStamp[CStamp::STAMP_MAX];
        entry.Stamp(szStamp, m_stamp.Format(szStamp, m_stamp.Read(), entry.Tail(), p->nThread));
        size_t nLen = 0;
        const char* pWhole = entry.IsWhole() ? entry.Whole(nLen) : NULL;
        if (pWhole != NULL && nLen <= CHandIn::GATHER_SIZE) {
            if (nGathered + nLen > CHandIn::GATHER_SIZE)
                FlushGathered(nGathered, pFrom, p);
            memcpy(m_handIn.Buffer() + nGathered, pWhole, nLen);
            nGathered += nLen;
            continue;
        }
        FlushGathered(nGathered, pFrom, p);
        PassOn(entry);
        pFrom = p->pNext;
    }
    FlushGathered(nGathered, pFrom, NULL);
}

// Appends the nGathered bytes of the entries from pFrom up to pTo in one
// write, counts them, syncs, then spreads each; pFrom ends at pTo.
void CTxtLog::FlushGathered(size_t& nGathered, CHandIn::QW_PENDING*& pFrom, CHandIn::QW_PENDING* pTo)
{
    if (nGathered == 0)
        return;
    CLogAppend::Whole(m_pFile, m_handIn.Buffer(), nGathered);
    m_roll.Wrote(nGathered);
    nGathered = 0;
    SyncEntry();
    for (; pFrom != pTo; pFrom = pFrom->pNext)
        Spread(*pFrom->pEntry);
}

// The road of an entry or dump written alone, under the lock with a file open:
// a move to a new file when one is due, the stamp of one clock reading (read
// here, so the entries of the object are in the file in the order of their
// stamps), then PassOn: the append, the size count, the sync, the echo, the
// console.
void CTxtLog::WriteEntry(CEntryText& entry, DWORD nThread)
{
    const QW_CLOCK_READING now = m_stamp.Read();
    if (m_roll.Enabled())
        MoveIfDue(now.tSeconds, entry.Bound());
    char szStamp[CStamp::STAMP_MAX];
    entry.Stamp(szStamp, m_stamp.Format(szStamp, now, entry.Tail(), nThread));
    PassOn(entry);
}

// The stamped entry's way on: the append, the size count, the sync, then what
// follows its append (Spread).
void CTxtLog::PassOn(CEntryText& entry)
{
    AppendEntry(entry);
    SyncEntry();
    Spread(entry);
}

// What follows an entry's append, for an entry written alone and for each of
// entries appended together alike: the echo, the console.
void CTxtLog::Spread(CEntryText& entry)
{
    EchoEntry(entry);
    if (m_console.IsOpen())
        entry.Show(m_console);
}

// Appends the entry to the file: in one write when it is whole; in parts back
// to back, no append of this process between them, when it is not. Counts what
// the file grew by for MAXFILEMB (a run of parts has the size read again).
void CTxtLog::AppendEntry(CEntryText& entry)
{
    if (entry.IsWhole()) {
        size_t nLen = 0;
        const char* p = entry.Whole(nLen);
        CLogAppend::Whole(m_pFile, p, nLen);
        m_roll.Wrote(nLen);
        return;
    }
    entry.Rewind();
    CLogAppend::Run(m_pFile, &CEntryText::NextPart, &entry);
    m_roll.Grew();
}

// With ECHO=1, sends the file bytes of the entry to the developer channel: one
// call for a whole entry, one per part (made again) for a dump in parts, never
// a buffer of the whole. Called right after the append, so the channel has the
// file's order.
void CTxtLog::EchoEntry(CEntryText& entry)
{
    if (!m_bEcho)
        return;
    if (entry.IsWhole()) {
        size_t nLen = 0;
        const char* p = entry.Whole(nLen);
        QwOutput().EchoText(m_pFile, p, nLen);
        return;
    }
    entry.Rewind();
    const char* p = NULL;
    for (size_t nLen; (nLen = CEntryText::NextPart(&entry, &p)) != 0;)
        QwOutput().EchoText(m_pFile, p, nLen);
}

BOOL CTxtLog::WriteLog(const char* pszFormat, ...)
{
    QW_ASSERT(pszFormat != NULL);
    if (!m_bFileOpen)
        return TRUE;
    CQwNoCancel noCancel;
    va_list args;
    va_start(args, pszFormat);
    CEntryText entry(pszFormat, args);
    va_end(args);
    Write(entry);
    return TRUE;
}

BOOL CTxtLog::WriteSilent(const char* pszFormat, ...)
{
    QW_ASSERT(pszFormat != NULL);
    if (!m_bFileOpen)
        return TRUE;
    CQwNoCancel noCancel;
    CLockScope lock(*this);  // returns once the entry another thread is writing is written
    return TRUE;
}

BOOL CTxtLog::WriteHex(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex)
{
    QW_ASSERT(pData != NULL);
    CQwNoCancel noCancel;
    // Asked of the kernel without touching the memory; the layout then reads it.
    if (!QwIsReadable(pData, nSize))
        return TRUE;
    QW_ASSERT(m_bFileOpen.load());
    if (!m_bFileOpen)
        return TRUE;
    CEntryText entry(pData, nSize, bOut, bHex, m_stamp.Length(sizeof(" --> ") - 1));
    Write(entry);
    return TRUE;
}
