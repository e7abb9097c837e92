// CTxtLog: the text log behind ILogObject. It owns the day folder, the log
// file, the lock and the console mirror, and lays out every entry.
#ifndef QUILLWORK_TXTLOG_H
#define QUILLWORK_TXTLOG_H

#include "Quillwork.h"
#include "LogFolder.h"
#include "Platform.h"
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

    void Lock();
    void Unlock();
    void Construct();
    BOOL CreateLogDir();
    void ReadHostFolder();
    void ReadConsoleSetting();
    BOOL BuildFilePath(const char* pszName, std::string& strPath);
    BOOL WriteText(const char* psz);
    BOOL WriteText(const char* psz, unsigned int nLen);
    void FormatStamp(char* pszStamp, size_t nSize, const char* pszTail);
    void BeginEntry();
    void EndEntry();
    void AddToFile(const char* p, size_t nLen);
    void FlushEntry();
    void PutFile(const char* p, size_t nLen);
    BOOL DumpHex(const unsigned char* pData, unsigned int nSize, BOOL bOut, BOOL bHex);
    void DumpLine(const unsigned char*& pRead, unsigned int nLine, unsigned int nSize, BOOL bHex, unsigned int nIndent);

    std::string m_strAppDir;
    std::string m_strLogDir;
    BOOL m_bConsole;
    FILE* m_pFile;
    CRITICAL_SECTION m_cs;
    CWinConsole m_console;
    CLogFolder m_folder;        // DIR and retention settings, the log folder in use
    std::string m_strExeName;   // the host executable's name (without extension on Windows)
    // Mirrors m_pFile != NULL for the cheap unlocked test of the writers;
    // written under the lock by Open and Close.
    std::atomic<bool> m_bFileOpen;

    // The entry being made: its file bytes gather here and go out in one write
    // when it ends (or when the buffer is full, for a dump that does not fit).
    enum { ENTRY_SIZE = 32768 };
    char m_szEntry[ENTRY_SIZE];
    size_t m_nEntry;
    BOOL m_bInEntry;
    BOOL m_bEntryFailed;        // a write of the current entry fell short
    long long m_nEntryWritten;  // bytes of the current entry already in the file

    // The date and time text of the second m_tStamp, made once per second.
    time_t m_tStamp;
    char m_szStampTime[20];
};

// True when pszName would leave the day folder: it holds a path separator
// ('\\' or '/') or, on Windows, a drive colon.
bool QwNameLeavesFolder(const char* pszName);

// The offset label of a dump line: "%08Xh: " or "%08ud: " of nOffset.
void QwFormatDumpLabel(char* pszLabel, size_t nLabelSize, unsigned int nOffset, BOOL bHex);

// The byte text of one dump line (at most 16 values of pLine, nCount of them),
// cut at 48 characters and closed with ';' as the dump layout wants it.
void QwFormatDumpBytes(char* pszBytes, size_t nBytesSize, const unsigned char* pLine, unsigned int nCount, BOOL bHex);

#endif
