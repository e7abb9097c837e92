// CTxtLog: construction and folders, the file's life, and the output primitives.
#include "TxtLog.h"

#include "CrashReport.h"
#include "ForkGuard.h"
#include "Formatter.h"
#include "Framework.h"
#include "Settings.h"

#include <string.h>

#include <exception>

static const char THIS_FILE[] = "LogClass\\TxtLog.cpp";

namespace {

const char s_szBanner[] = "\r\n------\r\n";
const char s_szEntryEnd[] = "\r\n\r\n";
const char s_szDumpLineEnd[] = "\r\n";
const unsigned int SMALL_DUMP = 256;  // bytes a dump checks under the lock (WriteHex)
const WORD COLOR_BANNER = 9;
const WORD COLOR_NORMAL = 7;
const unsigned int LOCK_SPIN_COUNT = 4000;  // tries on a taken lock before sleeping (as Windows counts them)

// The folder that holds strPath: up to its last separator, a root ("/", "D:\\")
// keeping its own; "" when strPath is a root or a bare name.
std::string HoldingFolder(const std::string& strPath)
{
    std::string::size_type nSep = strPath.find_last_of(QW_PATH_SEP == '\\' ? "\\/" : "/");
    if (nSep == std::string::npos || nSep + 1 == strPath.size())
        return std::string();
    bool bRoot = nSep == 0 || (QW_DRIVE_COLON && nSep == 2 && strPath[1] == ':');
    return strPath.substr(0, bRoot ? nSep + 1 : nSep);
}

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
    , m_queue(&m_cs)
{
    // The lock is held while an entry is laid out, never across a write: a
    // thread that finds it taken does better to try again a while than to sleep.
    QwInitLock(&m_cs, LOCK_SPIN_COUNT);
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

namespace {

// Reports that strPath could not be opened, and why (nothing without the memory for it).
void ReportRefused(const std::string& strPath, const std::string& strWhy)
{
    try {
        QwReport(("Quillwork: cannot open " + strPath + " (" + strWhy + ")\n").c_str());
    } catch (const std::exception&) {
    }
}

// Reports that strPath was opened but did not take its banner (a full disk).
void ReportNoRoom(const std::string& strPath, const std::string& strWhy)
{
    try {
        QwReport(("Quillwork: opened " + strPath + ", but its banner could not be written (" + strWhy + ")\n").c_str());
    } catch (const std::exception&) {
    }
}

// Reports that Open refused pszName, which would leave the day folder
// strLogDir or is not text of the code page (nothing without the memory for it).
void ReportBadName(const char* pszName, const std::string& strLogDir)
{
    try {
        std::string strWhy = QwNameLeavesFolder(pszName) ? "a name with a path separator or drive would leave the day folder"
                                                         : "the name is not text of the code page";
        QwReport(("Quillwork: cannot open \"" + std::string(pszName) + "\" in " + strLogDir + " (" + strWhy + ")\n").c_str());
    } catch (const std::exception&) {
    }
}

// Opens strPath of the day folder strLogDir for appending. An empty day folder
// may have been cleaned away by another object or process since construction:
// it is made again (the day stays the one fixed at construction), a few times
// over should cleaning elsewhere take it again in between. NULL on failure,
// reported with its reason.
FILE* OpenInDayFolder(const CLogFolder& folder, const std::string& strLogDir, const std::string& strPath)
{
    std::string strWhy;
    FILE* pFile = QwOpenAppend(strPath.c_str(), &strWhy);
    for (int i = 0; i < 3 && pFile == NULL && QwFindFolder(strLogDir) == QW_FOUND_NONE; ++i)
        if (folder.MakeDayAgain(strLogDir))
            pFile = QwOpenAppend(strPath.c_str(), &strWhy);
    if (pFile == NULL)
        ReportRefused(strPath, strWhy.empty() ? "no day folder" : strWhy);
    return pFile;
}

} // namespace

bool QwNameLeavesFolder(const char* pszName)
{
    if (QwFindChar(pszName, '\\') != NULL || QwFindChar(pszName, '/') != NULL)
        return true;
    return QW_DRIVE_COLON && QwFindChar(pszName, ':') != NULL;
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
        CEntryQueue::CDrainScope drain(m_queue);  // no write of the queue while the file changes
        if (m_pFile != NULL)
            return TRUE;  // opened by another thread while the drain waited without the lock
        std::string strPath;
        try {
            if (!BuildFilePath(pszName, strPath)) {
                ReportBadName(pszName, m_strLogDir);
                return FALSE;
            }
        } catch (const std::exception&) {
            QwReport("Quillwork: cannot open the file (no memory for its path)\n");
            return FALSE;
        }
        // Binary, so the file holds exactly the bytes of the entries (CR LF).
        m_pFile = OpenInDayFolder(m_folder, m_strLogDir, strPath);
        if (m_pFile == NULL)
            return FALSE;
        m_bFileOpen = true;
        if (m_bCrash)
            CCrashReport::Watch(&m_pFile, &m_cs, m_stamp.Digits(), m_stamp.Thread());
        if (!WriteBanner())
            ReportNoRoom(strPath, QwLastErrorText());
        SyncFolders();
        ShowConsole(m_bConsole);
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
    CLockScope lock(*this);
    {
        // Pending entries reach the file, and the write in flight ends, first.
        CEntryQueue::CDrainScope drain(m_queue);
        if (m_pFile != NULL) {
            m_bFileOpen = false;
            CCrashReport::Unwatch(&m_pFile);
            fclose(m_pFile);
            m_pFile = NULL;
        }
    }
    ShowConsole(FALSE);
    return TRUE;
}

BOOL CTxtLog::ShowConsole(BOOL bShow)
{
    CQwNoCancel noCancel;
    Lock();
    m_console.Show(bShow);
    m_bConsole = bShow;
    Unlock();
    return TRUE;
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

// Writes psz to the file in one write, then shows the same bytes. Called with a
// file open and outside any entry.
BOOL CTxtLog::WriteText(const char* psz)
{
    QW_ASSERT(m_pFile != NULL && psz != NULL);
    if (m_pFile == NULL || psz == NULL)
        return TRUE;
    size_t nLen = strlen(psz);
    PutEntry(psz, nLen);
    m_console.Write(psz, (DWORD)nLen);
    return TRUE;
}

BOOL CTxtLog::WriteText(const char* psz, unsigned int nLen)
{
    QW_ASSERT(m_pFile != NULL && psz != NULL);
    if (m_pFile == NULL || psz == NULL || nLen == 0)
        return TRUE;
    // The file takes the bytes up to the first zero byte, the console all nLen.
    const void* pZero = memchr(psz, '\0', nLen);
    size_t nFileLen = pZero != NULL ? (size_t)((const char*)pZero - psz) : nLen;
    PutEntry(psz, nFileLen);
    m_console.Write(psz, nLen);
    return TRUE;
}

// Writes the stamp of the clock reading now (CStamp: the time, its fraction and
// the thread as configured), then pszTail, at pszStamp (unterminated, at most
// CStamp::STAMP_MAX bytes) and gives its length; 0, and nothing written, when now
// has no local time. Called under the lock.
size_t CTxtLog::FormatStamp(char* pszStamp, const QW_CLOCK_READING& now, const char* pszTail)
{
    return m_stamp.Format(pszStamp, now, pszTail);
}

// Writes the opening banner in one write, then shows it in the banner colour.
// Called under the lock with a file open.
BOOL CTxtLog::WriteBanner()
{
    const size_t nBanner = sizeof(s_szBanner) - 1, nEnd = sizeof(s_szEntryEnd) - 1;
    char szBanner[sizeof(s_szBanner) + sizeof(s_szEntryEnd)];
    memcpy(szBanner, s_szBanner, nBanner);
    memcpy(szBanner + nBanner, s_szEntryEnd, nEnd);
    BOOL bWritten = PutEntry(szBanner, nBanner + nEnd);
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
            ReportRefused(strPath, strWhy);
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

// Appends nLen bytes, a whole entry, to the file in one write. Where the disk
// takes only part of them, the platform cuts that part off again if the file
// still ends with it. With SYNC=1 the write is followed by a sync of the file
// (SyncEntry). TRUE when the bytes were written and, where asked for, synced.
BOOL CTxtLog::PutEntry(const char* p, size_t nLen)
{
    BOOL bWritten = nLen == 0 || QwAppendWhole(m_pFile, p, nLen);
    m_roll.Wrote(nLen);
    BOOL bSynced = SyncEntry();
    return bWritten && bSynced ? TRUE : FALSE;
}

// With SYNC=1, syncs the file after the last write of an entry, so that it and
// every write before it are on stable storage on return. TRUE when synced or
// not asked for.
BOOL CTxtLog::SyncEntry()
{
    return m_bSync ? QwOutput().SyncFile(m_pFile) : TRUE;
}

// With ECHO=1, sends the file bytes of an entry (or of one part of a dump that
// goes out in parts) to the developer channel, in one call. Called under the
// lock right after their write, so the channel has the file's order.
void CTxtLog::EchoEntry(const char* p, size_t nLen)
{
    if (m_bEcho && nLen != 0)
        QwOutput().EchoText(m_pFile, p, nLen);
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
        strFolder = HoldingFolder(strFolder);
    }
}

// A buffer of nNeed bytes for one entry: the object's own when it fits, else one
// from the heap; NULL when there is no such memory. ReleaseEntryBuffer frees it.
char* CTxtLog::EntryBuffer(unsigned long long nNeed)
{
    if (nNeed <= sizeof(m_szEntry))
        return m_szEntry;
    if (nNeed > (unsigned long long)(size_t)-1)
        return NULL;
    return static_cast<char*>(QwAllocObject((size_t)nNeed));
}

void CTxtLog::ReleaseEntryBuffer(char* p)
{
    if (p != m_szEntry)
        QwFreeObject(p);
}

// ---- formatted entries ------------------------------------------------------

namespace {

const WORD COLOR_STAMP = 6;
const WORD COLOR_LABEL = 3;
const WORD COLOR_BYTES = 2;
const size_t STAMP_SIZE = CStamp::STAMP_MAX;
const size_t MESSAGE_SIZE = 2048;
const size_t ENTRY_ROOM = STAMP_SIZE + MESSAGE_SIZE + sizeof(s_szEntryEnd);  // the most an entry takes

// Tells the calling thread from others without asking the system: the 64 KiB
// block of its stack that the call runs in. Two addresses 64 KiB or more apart
// never share a block, so threads whose stacks are larger than that never share
// a mark; one thread may show two (calls at depths on both sides of a block's
// edge). Not 0 in practice: no system puts a stack in the first 64 KiB of the
// address space (a 0 would only make its thread count as a first caller). Each
// slip only decides whether an entry takes the queue or the direct way
// (CEntryQueue::Direct), both of them whole and in order.
unsigned long long ThreadMark()
{
    char cHere;
    return (unsigned long long)(uintptr_t)&cHere >> 16;
}

} // namespace

// TRUE when entries go through the queue: while the console is off and none of
// SYNC, ECHO, DAILY or MAXFILEMB is set. The console must show each entry whole
// and in the file's order, and those settings act on each entry after (sync,
// echo) or before (a move to a new file) its write, so with any of them every
// entry is written under the lock.
bool CTxtLog::Combines() const { return !m_console.IsOpen() && !m_bSync && !m_bEcho && !m_roll.Enabled(); }

BOOL CTxtLog::WriteLog(const char* pszFormat, ...)
{
    QW_ASSERT(pszFormat != NULL);
    if (!m_bFileOpen)
        return TRUE;
    CQwNoCancel noCancel;
    CCleanAfterMove clean(*this);  // after the lock is let go: a move's cleaning
    CEntryQueue::QW_TICKET ticket;
    va_list args;
    va_start(args, pszFormat);
    bool bQueued = QueueMessage(pszFormat, args, ticket);
    va_end(args);
    if (bQueued)
        m_queue.Finish(ticket);  // without the lock: the entry is in the file on return
    return TRUE;
}

// Under the lock: lays the entry of pszFormat out in the queue (TRUE: the
// ticket is to be finished), or, where the queue is passed by, drains it and
// writes and shows the entry at once (FALSE). FALSE too when the file was
// closed by another thread while this one waited for the lock. A thread that
// has the object to itself writes the entry at once, past the queue (FALSE).
bool CTxtLog::QueueMessage(const char* pszFormat, va_list args, CEntryQueue::QW_TICKET& ticket)
{
    CLockScope lock(*this);
    if (m_pFile == NULL)
        return false;
    size_t nStamp = 0, nMessage = 0;
    const bool bCombines = Combines();
    if (bCombines && m_queue.Direct(ThreadMark())) {
        // Nothing pending, no write in flight: the entry's one write, here.
        size_t nLen = LayOutMessage(m_szEntry, m_stamp.Read(), pszFormat, args, nStamp, nMessage);
        QwAppendWhole(m_pFile, m_szEntry, nLen);  // as the queue writes its batches
        return false;
    }
    char* pEntry = bCombines ? m_queue.Room(ENTRY_ROOM) : NULL;
    if (pEntry != NULL) {
        ticket = m_queue.Add(m_pFile, LayOutMessage(pEntry, m_stamp.Read(), pszFormat, args, nStamp, nMessage));
        return true;
    }
    CEntryQueue::CDrainScope drain(m_queue);
    if (m_pFile == NULL)
        return false;  // closed by another thread while the drain waited without the lock
    const QW_CLOCK_READING now = m_stamp.Read();
    MoveIfDue(now.tSeconds);
    size_t nLen = LayOutMessage(m_szEntry, now, pszFormat, args, nStamp, nMessage);
    PutEntry(m_szEntry, nLen);
    EchoEntry(m_szEntry, nLen);
    if (m_console.IsOpen())
        ShowMessage(m_szEntry, nStamp, m_szEntry + nStamp, nMessage);
    return false;
}

// Lays stamp, message and end out side by side at pEntry (ENTRY_ROOM bytes) and
// gives their length; nStamp and nMessage the lengths of the first two. now is
// read by the caller under the lock, so stamps follow the order of entries.
size_t CTxtLog::LayOutMessage(char* pEntry, const QW_CLOCK_READING& now, const char* pszFormat, va_list args,
                              size_t& nStamp, size_t& nMessage)
{
    nStamp = FormatStamp(pEntry, now, "  ");
    char* pszMessage = pEntry + nStamp;
    nMessage = QwFormatV(pszMessage, MESSAGE_SIZE, pszFormat, args);  // always terminated within MESSAGE_SIZE
    memcpy(pszMessage + nMessage, s_szEntryEnd, sizeof(s_szEntryEnd) - 1);
    return nStamp + nMessage + sizeof(s_szEntryEnd) - 1;
}

// Shows an entry that is already in the file: the stamp in its colour, then the
// message and the end in the normal colour.
void CTxtLog::ShowMessage(const char* pszStamp, size_t nStamp, const char* pszMessage, size_t nMessage)
{
    m_console.BeginEntry();
    m_console.SetColor(COLOR_STAMP);
    m_console.Write(pszStamp, (DWORD)nStamp);
    m_console.SetColor(COLOR_NORMAL);
    m_console.Write(pszMessage, (DWORD)nMessage);
    m_console.Write(s_szEntryEnd, (DWORD)(sizeof(s_szEntryEnd) - 1));
    m_console.EndEntry();
}

BOOL CTxtLog::WriteSilent(const char* pszFormat, ...)
{
    QW_ASSERT(pszFormat != NULL);
    if (!m_bFileOpen)
        return TRUE;
    CQwNoCancel noCancel;
    unsigned long long nAdded = 0;
    {
        CLockScope lock(*this);  // waits for an entry another thread is laying out
        nAdded = m_queue.Added();
    }
    m_queue.WaitWritten(nAdded);  // and for the entries added before to be written
    return TRUE;
}


CTxtLog::CEarlyDump::CEarlyDump(const unsigned char* pData, unsigned int nSize, BOOL bHex, size_t nStamp)
    : m_p(NULL)
    , m_nLen(0)
    , m_nStamp(nStamp)
{
    if (nSize <= SMALL_DUMP || nStamp >= sizeof(QW_DUMP_SPACES))
        return;
    unsigned int nIndent = (unsigned int)nStamp;
    unsigned long long nRoom = QwDumpRoom(nSize, nIndent);
    if (nRoom > CEntryQueue::BATCH_SIZE)
        return;
    m_p = static_cast<char*>(QwAllocObject((size_t)nRoom));
    if (m_p != NULL)
        m_nLen = QwLayOutDump(m_p, pData, nSize, bHex, QW_DUMP_SPACES, nIndent, nIndent);
}

CTxtLog::CEarlyDump::~CEarlyDump()
{
    if (m_p != NULL)
        QwFreeObject(m_p);
}

const char* CTxtLog::CEarlyDump::WithStamp(const char* pszStamp, size_t nStamp)
{
    if (m_p == NULL || nStamp != m_nStamp)
        return NULL;
    memcpy(m_p, pszStamp, nStamp);
    return m_p;
}

BOOL CTxtLog::WriteHex(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex)
{
    QW_ASSERT(pData != NULL);
    CQwNoCancel noCancel;
    // The readability check asks the kernel, which serves the checks of several
    // threads at once with contention on the process's memory map: a small
    // dump, whose check costs as much as the rest of its work, checks under the
    // object's lock, one thread at a time; a large one checks before it.
    const bool bCheckUnderLock = nSize <= SMALL_DUMP;
    if (!bCheckUnderLock && !QwIsReadable(pData, nSize))
        return TRUE;
    // Laid out for the stamp this thread's dumps get; freed after the lock is let go.
    CEarlyDump early(pData, m_bFileOpen ? nSize : 0, bHex, m_stamp.Length(sizeof(" --> ") - 1));
    CCleanAfterMove clean(*this);  // after the lock is let go: a move's cleaning
    CEntryQueue::QW_TICKET ticket;
    bool bQueued = false;
    {
        CLockScope lock(*this);
        if (bCheckUnderLock && !QwIsReadable(pData, nSize))
            return TRUE;
        bQueued = QueueDump(pData, nSize, bOut, bHex, early, ticket);
    }
    if (bQueued)
        m_queue.Finish(ticket);  // without the lock: the dump is in the file on return
    return TRUE;
}

// Under the lock: lays the dump out in the queue when the queue is used and
// has room for it (TRUE: the ticket is to be finished); otherwise drains the
// queue and writes the dump past it, as DumpHex does (FALSE). A thread that has
// the object to itself writes the dump at once, past the queue (FALSE).
bool CTxtLog::QueueDump(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex, CEarlyDump& early,
                        CEntryQueue::QW_TICKET& ticket)
{
    if (m_pFile == NULL) {
        DumpHex(pData, nSize, bOut, bHex);  // reports the missing file, writes nothing
        return false;
    }
    const bool bCombines = Combines();
    if (bCombines && m_queue.Direct(ThreadMark())) {
        // Nothing pending, no write in flight: the dump's one write, here.
        if (!WriteEarly(early, bOut))
            DumpHex(pData, nSize, bOut, bHex);
        return false;
    }
    unsigned long long nRoom = QwDumpRoom(nSize, STAMP_SIZE - 1);
    char* pEntry = NULL;
    if (bCombines && nRoom <= CEntryQueue::BATCH_SIZE)
        pEntry = m_queue.Room((size_t)nRoom);
    if (pEntry != NULL) {
        char szStamp[STAMP_SIZE];
        size_t nStamp = FormatStamp(szStamp, m_stamp.Read(), bOut ? " --> " : " <-- ");
        const char* pEarly = early.WithStamp(szStamp, nStamp);
        unsigned int nIndent = (unsigned int)(nStamp < sizeof(QW_DUMP_SPACES) - 1 ? nStamp : sizeof(QW_DUMP_SPACES) - 1);
        if (pEarly != NULL)
            memcpy(pEntry, pEarly, early.Length());  // a copy costs a fraction of the layout
        size_t nLen = pEarly != NULL ? early.Length() : QwLayOutDump(pEntry, pData, nSize, bHex, szStamp, nStamp, nIndent);
        ticket = m_queue.Add(m_pFile, nLen);
        return true;
    }
    CEntryQueue::CDrainScope drain(m_queue);
    DumpHex(pData, nSize, bOut, bHex);  // reads the file again: the drain may have left the lock
    return false;
}

// Stamps the dump laid out early and writes it in one write, as the queue
// writes its batches. FALSE, and nothing written, when there is no early text
// to write (the file is not open, or the stamp is not of the usual length).
bool CTxtLog::WriteEarly(CEarlyDump& early, BOOL bOut)
{
    if (m_pFile == NULL || early.Length() == 0)
        return false;
    char szStamp[STAMP_SIZE];
    const char* pEarly = early.WithStamp(szStamp, FormatStamp(szStamp, m_stamp.Read(), bOut ? " --> " : " <-- "));
    if (pEarly == NULL)
        return false;
    QwAppendWhole(m_pFile, pEarly, early.Length());
    return true;
}

// Lays a dump of up to DUMP_WRITE_MAX bytes of text out in one buffer and writes
// it in one write, then shows it. A larger one goes out in parts (DumpInParts).
BOOL CTxtLog::DumpHex(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex)
{
    QW_ASSERT(m_pFile != NULL && pData != NULL);
    if (m_pFile == NULL)
        return TRUE;
    const QW_CLOCK_READING now = m_stamp.Read();
    MoveIfDue(now.tSeconds, QwDumpRoom(nSize, 0));
    CDumpParts parts;
    parts.pData = pData;
    parts.nSize = nSize;
    parts.bHex = bHex;
    parts.nStamp = FormatStamp(parts.szStamp, now, bOut ? " --> " : " <-- ");
    parts.nIndent = (unsigned int)(parts.nStamp < sizeof(QW_DUMP_SPACES) - 1 ? parts.nStamp : sizeof(QW_DUMP_SPACES) - 1);
    parts.nLines = QwDumpLineCount(nSize);
    unsigned long long nNeed = parts.nStamp + (unsigned long long)parts.nLines * QwDumpLineRoom(parts.nIndent) + 2;
    char* pEntry = nNeed <= DUMP_WRITE_MAX ? EntryBuffer(nNeed) : NULL;
    if (pEntry == NULL) {
        DumpInParts(parts);
        return TRUE;
    }
    size_t nLen = QwLayOutDump(pEntry, pData, nSize, bHex, parts.szStamp, parts.nStamp, parts.nIndent);
    PutEntry(pEntry, nLen);
    EchoEntry(pEntry, nLen);
    if (m_console.IsOpen()) {
        m_console.BeginEntry();
        ShowDump(pEntry, nLen, parts.nStamp, parts.nIndent, true, true);
        m_console.EndEntry();
    }
    ReleaseEntryBuffer(pEntry);
    return TRUE;
}

// A dump of more than DUMP_WRITE_MAX bytes of text, or one for which no buffer of
// its size could be had: laid out part by part in one buffer of DUMP_WRITE_MAX
// bytes (the object's own where even that cannot be had), the parts written back
// to back as one run, so no append of this process lands between them. Once all
// parts are in the file, the same parts are made again for the console.
void CTxtLog::DumpInParts(CDumpParts& parts)
{
    char* pBuffer = EntryBuffer(DUMP_WRITE_MAX);
    parts.pBuffer = pBuffer != NULL ? pBuffer : m_szEntry;
    size_t nBuffer = pBuffer != NULL ? (size_t)DUMP_WRITE_MAX : sizeof(m_szEntry);
    parts.nPerPart = (unsigned int)((nBuffer - parts.nStamp - 2) / QwDumpLineRoom(parts.nIndent));
    parts.nNext = 0;
    QwAppendRun(m_pFile, NextDumpPart, &parts);
    SyncEntry();
    EchoParts(parts);
    m_roll.Grew();
    if (m_console.IsOpen()) {
        m_console.BeginEntry();
        parts.nNext = 0;
        const char* p = NULL;
        for (size_t nLen; (nLen = NextDumpPart(&parts, &p)) != 0;)
            ShowDump(p, nLen, parts.nStamp, parts.nIndent, parts.bFirst, parts.bLast);
        m_console.EndEntry();
    }
    if (pBuffer != NULL)
        ReleaseEntryBuffer(pBuffer);
}

// Lays out the next part of the dump at parts.pBuffer: the stamp before line 0,
// up to nPerPart lines, the closing line end after the last line. Sets *pp to it
// and gives its length; 0 when every line has been made.
size_t CTxtLog::NextDumpPart(void* pContext, const char** pp)
{
    CDumpParts& parts = *static_cast<CDumpParts*>(pContext);
    if (parts.nNext >= parts.nLines)
        return 0;
    unsigned int nFirst = parts.nNext;
    unsigned int nEnd = parts.nLines - nFirst > parts.nPerPart ? nFirst + parts.nPerPart : parts.nLines;
    char* pOut = parts.pBuffer;
    size_t nLen = 0;
    if (nFirst == 0) {
        memcpy(pOut, parts.szStamp, parts.nStamp);
        nLen = parts.nStamp;
    }
    nLen += QwFormatDumpLines(pOut + nLen, parts.pData, parts.nSize, nFirst, nEnd, parts.bHex, parts.nIndent);
    if (nEnd == parts.nLines) {
        memcpy(pOut + nLen, s_szDumpLineEnd, 2);
        nLen += 2;
    }
    parts.bFirst = nFirst == 0;
    parts.bLast = nEnd == parts.nLines;
    parts.nNext = nEnd;
    *pp = pOut;
    return nLen;
}

// With ECHO=1, sends a dump that went out in parts to the developer channel
// in the same parts, made again: one call each, never a buffer of the whole.
void CTxtLog::EchoParts(CDumpParts& parts)
{
    if (!m_bEcho)
        return;
    parts.nNext = 0;
    const char* p = NULL;
    for (size_t nLen; (nLen = NextDumpPart(&parts, &p)) != 0;)
        EchoEntry(p, nLen);
}

// Shows dump text that is already in the file, piece by piece in the dump's
// colours: the stamp (bFirst), then each line's indent, label, byte text and
// line end, then the closing line end (bLast).
void CTxtLog::ShowDump(const char* p, size_t nLen, size_t nStamp, unsigned int nIndent, bool bFirst, bool bLast)
{
    const char* pEnd = p + nLen;
    if (bFirst) {
        m_console.SetColor(COLOR_STAMP);
        m_console.Write(p, (DWORD)nStamp);
        m_console.SetColor(COLOR_NORMAL);
        p += nStamp;
    }
    for (bool bLineZero = bFirst; p < pEnd; bLineZero = false) {
        if (bLast && pEnd - p == 2)
            break;  // the closing line end
        if (!bLineZero && nIndent != 0) {
            m_console.Write(p, nIndent);
            p += nIndent;
        }
        const char* pBytes = static_cast<const char*>(memchr(p, ' ', (size_t)(pEnd - p))) + 1;  // after the label
        const char* pLineEnd = static_cast<const char*>(memchr(pBytes, '\r', (size_t)(pEnd - pBytes)));
        m_console.SetColor(COLOR_LABEL);
        m_console.Write(p, (DWORD)(pBytes - p));
        m_console.SetColor(COLOR_NORMAL);
        m_console.SetColor(COLOR_BYTES);
        m_console.Write(pBytes, (DWORD)(pLineEnd - pBytes));
        m_console.SetColor(COLOR_NORMAL);
        m_console.Write(s_szDumpLineEnd, 2);
        p = pLineEnd + 2;
    }
    if (bLast)
        m_console.Write(s_szDumpLineEnd, 2);
}
