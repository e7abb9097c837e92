// CTxtLog: construction and folders, the file's life, and the output primitives.
#include "TxtLog.h"

#include "Framework.h"

#include <string.h>

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
    , m_nEntry(0)
    , m_bInEntry(FALSE)
    , m_bEntryFailed(FALSE)
    , m_nEntryWritten(0)
    , m_tStamp(0)
{
    m_szStampTime[0] = '\0';
    InitializeCriticalSection(&m_cs);
    try {
        Construct();
    } catch (...) {
        // Out of memory in the string work: the members free themselves, the
        // lock is the one thing to give back by hand.
        DeleteCriticalSection(&m_cs);
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
    std::string strPath(MAX_PATH, '\0');
    DWORD nLen = 0;
    for (;;) {
        nLen = QwModulePath(&strPath[0], (DWORD)strPath.size());
        if (nLen < strPath.size() || strPath.size() >= 0x100000)
            break;
        strPath.resize(strPath.size() * 2);
    }
    strPath.resize(nLen < strPath.size() ? nLen : 0);
    std::string::size_type nSep = strPath.rfind(QW_PATH_SEP);
    QW_ASSERT(nSep != std::string::npos);
    if (nSep == std::string::npos) {
        m_strAppDir = ".";
        return;
    }
    m_strAppDir = strPath.substr(0, nSep);
    m_strExeName = strPath.substr(nSep + 1);
    std::string::size_type nDot = m_strExeName.rfind('.');
    if (QW_EXE_EXTENSION && nDot != std::string::npos && nDot > 0)
        m_strExeName.erase(nDot);
}

// m_bConsole becomes TRUE only when CONSOLE/OPEN in Quillwork.ini is exactly 1;
// the [LOG] settings go to m_folder.
void CTxtLog::ReadConsoleSetting()
{
    std::string strIni = m_strAppDir + QW_PATH_SEP_STR + "Quillwork.ini";
    m_bConsole = (QwProfileInt(strIni, "CONSOLE", "OPEN", 0) == 1) ? TRUE : FALSE;
    m_folder.ReadSettings(strIni);
}

void CTxtLog::Lock() { EnterCriticalSection(&m_cs); }

void CTxtLog::Unlock() { LeaveCriticalSection(&m_cs); }

// Finds or makes the log folder and today's day folder (see CLogFolder) and
// sets m_strLogDir. FALSE when no day folder could be found or made.
BOOL CTxtLog::CreateLogDir()
{
    char szDate[20];
    memset(szDate, 0, sizeof(szDate));
    QwFormatNow(szDate, sizeof(szDate), "%Y-%m-%d");
    return m_folder.CreateLogDir(m_strAppDir, m_strExeName, szDate, m_strLogDir);
}

bool QwNameLeavesFolder(const char* pszName)
{
    const unsigned char* psz = (const unsigned char*)pszName;
    if (_mbschr(psz, '\\') != NULL || _mbschr(psz, '/') != NULL)
        return true;
    return QW_DRIVE_COLON && _mbschr(psz, ':') != NULL;
}

// Builds <day folder><sep>HHMMSS[_name][.log] into strPath. FALSE when the
// name would leave the folder or is not text of the code page; how long the
// path may be is the file system's business.
BOOL CTxtLog::BuildFilePath(const char* pszName, std::string& strPath)
{
    std::string strName;
    if (pszName != NULL && (QwNameLeavesFolder(pszName) || !QwNameToPath(pszName, strName)))
        return FALSE;
    char szTime[20];
    memset(szTime, 0, sizeof(szTime));
    QwFormatNow(szTime, sizeof(szTime), "%H%M%S");
    strPath = m_strLogDir + QW_PATH_SEP_STR + szTime;
    if (pszName == NULL)
        strPath += ".log";
    else if (_mbsrchr((const unsigned char*)pszName, '.') != NULL)
        strPath += "_" + strName;
    else
        strPath += "_" + strName + ".log";
    return TRUE;
}

BOOL CTxtLog::Open(const char* pszName)
{
    CLockScope lock(*this);
    if (m_pFile != NULL)
        return TRUE;
    std::string strPath;
    try {
        if (!BuildFilePath(pszName, strPath))
            return FALSE;
    } catch (...) {
        return FALSE;  // no memory for the path
    }
    // Binary, so the file holds exactly the bytes of the entries (CR LF).
    m_pFile = QwOpenAppend(strPath.c_str());
    if (m_pFile == NULL)
        return FALSE;
    m_bFileOpen = true;
    BeginEntry();
    m_console.SetColor(COLOR_BANNER);
    WriteText(s_szBanner);
    WriteText(s_szEntryEnd);
    m_console.SetColor(COLOR_NORMAL);
    EndEntry();
    ShowConsole(m_bConsole);
    m_folder.Clean(m_strLogDir);
    return TRUE;
}

BOOL CTxtLog::Close()
{
    CLockScope lock(*this);
    if (m_pFile != NULL) {
        m_bFileOpen = false;
        fclose(m_pFile);
        m_pFile = NULL;
    }
    ShowConsole(FALSE);
    return TRUE;
}

BOOL CTxtLog::ShowConsole(BOOL bShow)
{
    Lock();
    m_console.Show(bShow);
    m_bConsole = bShow;
    Unlock();
    return TRUE;
}

void CTxtLog::Release()
{
    this->~CTxtLog();
    QwFreeObject(this);
}

CTxtLog::~CTxtLog()
{
    CTxtLog::Close();
    DeleteCriticalSection(&m_cs);
}

BOOL CTxtLog::WriteText(const char* psz)
{
    QW_ASSERT(m_pFile != NULL && psz != NULL);
    if (m_pFile == NULL || psz == NULL)
        return TRUE;
    size_t nLen = strlen(psz);
    AddToFile(psz, nLen);
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
    AddToFile(psz, nFileLen);
    m_console.Write(psz, nLen);
    return TRUE;
}

// The local time of now, "YYYY-MM-DD HH:MM:SS", then pszTail, into pszStamp
// (zero-filled, nothing when the time cannot be read). The date and time text is
// made again only when the second changes. Called under the lock.
void CTxtLog::FormatStamp(char* pszStamp, size_t nSize, const char* pszTail)
{
    memset(pszStamp, 0, nSize);
    time_t tNow = QwTime();
    if (tNow != m_tStamp || m_szStampTime[0] == '\0') {
        QwFormatNow(m_szStampTime, sizeof(m_szStampTime), "%Y-%m-%d %H:%M:%S");
        m_tStamp = tNow;
    }
    if (m_szStampTime[0] != '\0')
        snprintf(pszStamp, nSize, "%s%s", m_szStampTime, pszTail);
}

// Starts gathering an entry's file bytes; the console still gets each piece at once.
void CTxtLog::BeginEntry()
{
    m_nEntry = 0;
    m_bInEntry = TRUE;
    m_bEntryFailed = FALSE;
    m_nEntryWritten = 0;
}

// Writes what the entry gathered. If a write of it fell short (a full disk), the
// part that reached the file is cut off again, so no torn entry stays behind,
// and the stream's error is cleared for the next entry.
void CTxtLog::EndEntry()
{
    FlushEntry();
    m_bInEntry = FALSE;
    if (!m_bEntryFailed)
        return;
    if (m_nEntryWritten > 0)
        QwCutTail(m_pFile, m_nEntryWritten);
    clearerr(m_pFile);
}

// Inside an entry, gathers nLen bytes, writing the buffer first when they do not
// fit; a piece larger than the whole buffer goes out on its own. Outside an entry,
// writes them at once.
void CTxtLog::AddToFile(const char* p, size_t nLen)
{
    if (!m_bInEntry) {
        PutFile(p, nLen);
        return;
    }
    if (m_nEntry + nLen > sizeof(m_szEntry))
        FlushEntry();
    if (nLen > sizeof(m_szEntry)) {
        PutFile(p, nLen);
        return;
    }
    memcpy(m_szEntry + m_nEntry, p, nLen);
    m_nEntry += nLen;
}

// Writes the gathered bytes, if any, and empties the buffer.
void CTxtLog::FlushEntry()
{
    if (m_nEntry > 0)
        PutFile(m_szEntry, m_nEntry);
    m_nEntry = 0;
}

// One write of nLen bytes to the end of the file, in the operating system when
// it returns. Once a write of an entry fell short, the
// rest of that entry is dropped: it is cut off at its end.
void CTxtLog::PutFile(const char* p, size_t nLen)
{
    if (nLen == 0 || (m_bInEntry && m_bEntryFailed))
        return;
    size_t nDone = QwAppendBytes(m_pFile, p, nLen);
    if (!m_bInEntry)
        return;
    m_nEntryWritten += (long long)nDone;
    if (nDone != nLen)
        m_bEntryFailed = TRUE;
}

// ---- formatted entries ------------------------------------------------------

namespace {

const WORD COLOR_STAMP = 6;
const WORD COLOR_LABEL = 3;
const WORD COLOR_BYTES = 2;
const size_t STAMP_SIZE = 30;
const size_t MESSAGE_SIZE = 2048;

} // namespace

BOOL CTxtLog::WriteLog(const char* pszFormat, ...)
{
    QW_ASSERT(pszFormat != NULL);
    if (!m_bFileOpen)
        return TRUE;
    CLockScope lock(*this);
    if (m_pFile == NULL)
        return TRUE;  // closed by another thread while this one waited

    BeginEntry();
    char szStamp[STAMP_SIZE];
    memset(szStamp, 0, sizeof(szStamp));
    FormatStamp(szStamp, sizeof(szStamp), "  ");
    m_console.SetColor(COLOR_STAMP);
    WriteText(szStamp);
    m_console.SetColor(COLOR_NORMAL);

    char szMessage[MESSAGE_SIZE];
    memset(szMessage, 0, sizeof(szMessage));
    va_list args;
    va_start(args, pszFormat);
    QwFormatV(szMessage, sizeof(szMessage), pszFormat, args);
    va_end(args);
    WriteText(szMessage);
    WriteText(s_szEntryEnd);
    EndEntry();
    return TRUE;
}

BOOL CTxtLog::WriteSilent(const char* pszFormat, ...)
{
    QW_ASSERT(pszFormat != NULL);
    if (m_bFileOpen)
        CLockScope lock(*this);  // waits for an entry another thread is writing
    return TRUE;
}

// ---- dump entries -----------------------------------------------------------

namespace {

const unsigned int VALUES_PER_LINE = 16;
const size_t LABEL_SIZE = 15;
const size_t BYTES_SIZE = 60;
const size_t VALUE_SIZE = 5;
const size_t BYTES_SHOWN = 48;  // characters of byte text a line shows before ';'
const char s_szIndent[] = "                                     ";  // 37 spaces

} // namespace

namespace {

const char s_szHexDigits[] = "0123456789ABCDEF";

// The text of one value, as "%02X " or "%02d " would give it, into pszValue
// (at least VALUE_SIZE bytes, terminated).
void FormatValue(char* pszValue, unsigned char nValue, BOOL bHex)
{
    char* p = pszValue;
    if (bHex) {
        *p++ = s_szHexDigits[nValue >> 4];
        *p++ = s_szHexDigits[nValue & 15];
    } else {
        if (nValue >= 100)
            *p++ = (char)('0' + nValue / 100);
        *p++ = (char)('0' + nValue / 10 % 10);
        *p++ = (char)('0' + nValue % 10);
    }
    *p++ = ' ';
    *p = '\0';
}

} // namespace

void QwFormatDumpLabel(char* pszLabel, size_t nLabelSize, unsigned int nOffset, BOOL bHex)
{
    if (nLabelSize == 0)
        return;
    memset(pszLabel, 0, nLabelSize);
    // "%08Xh: " or "%08ud: ": digits from the right, at least eight of them.
    char szLabel[24];
    char* p = szLabel + sizeof(szLabel);
    *--p = '\0';
    *--p = ' ';
    *--p = ':';
    *--p = bHex ? 'h' : 'd';
    const unsigned int nBase = bHex ? 16 : 10;
    int nDigits = 0;
    for (unsigned int n = nOffset; n != 0 || nDigits < 8; n /= nBase, ++nDigits)
        *--p = s_szHexDigits[n % nBase];
    size_t nLen = strlen(p);
    if (nLen >= nLabelSize)
        nLen = nLabelSize - 1;  // cut as snprintf would
    memcpy(pszLabel, p, nLen);
}

void QwFormatDumpBytes(char* pszBytes, size_t nBytesSize, const unsigned char* pLine, unsigned int nCount, BOOL bHex)
{
    memset(pszBytes, 0, nBytesSize);
    size_t nLen = 0;
    for (unsigned int nValue = 0; nValue < nCount && nValue < VALUES_PER_LINE; ++nValue) {
        char szValue[VALUE_SIZE];
        FormatValue(szValue, pLine[nValue], bHex);
        // Only the first 48 characters are ever shown: stop once they stand.
        for (const char* p = szValue; *p != '\0' && nLen < BYTES_SHOWN + 1 && nLen + 1 < nBytesSize; ++p)
            pszBytes[nLen++] = *p;
    }
    if (nBytesSize > BYTES_SHOWN + 1) {
        pszBytes[BYTES_SHOWN] = ';';  // past the end of a shorter text, so unseen there
        pszBytes[BYTES_SHOWN + 1] = '\0';
    }
}

BOOL CTxtLog::WriteHex(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex)
{
    QW_ASSERT(pData != NULL);
    if (!QwIsReadable(pData, nSize))
        return TRUE;
    CLockScope lock(*this);
    DumpHex(pData, nSize, bOut, bHex);
    return TRUE;
}

BOOL CTxtLog::DumpHex(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex)
{
    QW_ASSERT(m_pFile != NULL && pData != NULL);
    if (m_pFile == NULL)
        return TRUE;
    BeginEntry();
    char szStamp[STAMP_SIZE];
    memset(szStamp, 0, sizeof(szStamp));
    FormatStamp(szStamp, sizeof(szStamp), bOut ? " --> " : " <-- ");
    m_console.SetColor(COLOR_STAMP);
    WriteText(szStamp);
    m_console.SetColor(COLOR_NORMAL);

    unsigned int nIndent = (unsigned int)lstrlenA(szStamp);
    if (nIndent > sizeof(s_szIndent) - 1)
        nIndent = sizeof(s_szIndent) - 1;
    unsigned int nLines = nSize / VALUES_PER_LINE + (nSize % VALUES_PER_LINE != 0 ? 1 : 0);
    const unsigned char* pRead = pData;
    unsigned int nLine = 0;
    do {
        DumpLine(pRead, nLine, nSize, bHex, nIndent);
    } while (++nLine < nLines);
    WriteText("\r\n");
    EndEntry();
    return TRUE;
}

// Writes line nLine of a dump: indent (after the first line), label, byte text
// and line end; moves pRead past the line's bytes.
void CTxtLog::DumpLine(const unsigned char*& pRead, unsigned int nLine, unsigned int nSize, BOOL bHex, unsigned int nIndent)
{
    if (nLine != 0)
        WriteText(s_szIndent, nIndent);

    char szLabel[LABEL_SIZE];
    QwFormatDumpLabel(szLabel, sizeof(szLabel), nLine * VALUES_PER_LINE, bHex);
    m_console.SetColor(COLOR_LABEL);
    WriteText(szLabel);
    m_console.SetColor(COLOR_NORMAL);

    unsigned int nLeft = nSize - nLine * VALUES_PER_LINE;  // 0 only for an empty dump
    unsigned int nCount = nLeft < VALUES_PER_LINE ? nLeft : VALUES_PER_LINE;
    char szBytes[BYTES_SIZE];
    QwFormatDumpBytes(szBytes, sizeof(szBytes), pRead, nCount, bHex);
    pRead += nCount;
    m_console.SetColor(COLOR_BYTES);
    WriteText(szBytes);
    m_console.SetColor(COLOR_NORMAL);
    WriteText("\r\n");
}
