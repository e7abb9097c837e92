// CCrashReport: the watched objects and the crash entry.
#include "CrashReport.h"
#include "LogAppend.h"

#include <string.h>

#include <atomic>
#include <mutex>

namespace {

// One watched object. A place is free while ppFile is NULL; Watch fills the
// other fields before it publishes ppFile, Unwatch clears ppFile first.
struct CWatch
{
    std::atomic<FILE* const*> ppFile;
    std::atomic<QW_LOCK*> pLock;
    std::atomic<int> nDigits;
    std::atomic<bool> bThread;
    std::atomic<bool> bHeld;   // the crash path keeps its lock taken
};

CWatch s_watched[CCrashReport::MAX_WATCHED];
std::atomic<size_t> s_nWatched(0);
std::atomic<long> s_nUtcOffset(0);
// Serializes Watch and Unwatch (never taken on the crash path).
std::mutex s_mxWatch;

// The entry of one crash, laid out once per object (only its stamp differs).
// One crash is reported at a time: a second thread that crashes meanwhile
// waits for the first (which ends the process) a bounded while, then goes on.
char s_szEntry[32768];
std::atomic<bool> s_bReporting(false);
const unsigned long REPORT_WAIT_TRIES = 200000000UL;

const char s_szEntryEnd[] = "\r\n\r\n";

// Text laid out into a fixed buffer, cut where it is full. Safe in a signal handler.
class CCrashText
{
public:
    CCrashText(char* p, size_t nSize) : m_p(p), m_nSize(nSize), m_nLen(0) {}

    // Appends nLen bytes of p, as many as fit.
    void Put(const char* p, size_t nLen)
    {
        size_t nRoom = m_nSize - m_nLen;
        size_t n = nLen < nRoom ? nLen : nRoom;
        memcpy(m_p + m_nLen, p, n);
        m_nLen += n;
    }
    void Put(const char* psz) { Put(psz, strlen(psz)); }
    // Appends n in decimal, at least nWidth digits (zeros in front).
    void PutDec(unsigned long long n, int nWidth = 1)
    {
        char sz[24];
        int i = (int)sizeof(sz);
        do {
            sz[--i] = (char)('0' + n % 10);
            n /= 10;
            --nWidth;
        } while (n != 0 || nWidth > 0);
        Put(sz + i, sizeof(sz) - (size_t)i);
    }
    // Appends "0x" and n in lower-case hexadecimal.
    void PutHex(unsigned long long n)
    {
        char sz[20];
        int i = (int)sizeof(sz);
        do {
            sz[--i] = "0123456789abcdef"[n & 15];
            n >>= 4;
        } while (n != 0);
        Put("0x", 2);
        Put(sz + i, sizeof(sz) - (size_t)i);
    }
    size_t Length() const { return m_nLen; }
    size_t Room() const { return m_nSize - m_nLen; }
    // Gives back the last n bytes laid out (n at most the length).
    void Drop(size_t n) { m_nLen -= n; }

private:
    char* m_p;
    size_t m_nSize;
    size_t m_nLen;
};

// Days since 1970-01-01 of the civil date y-m-d (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

// Appends the stamp of now, shifted by the local offset: "YYYY-MM-DD HH:MM:SS"
// and nDigits of the fraction, truncated.
void PutStamp(CCrashText& text, const QW_CLOCK_READING& now, int nDigits)
{
    long long nLocal = (long long)now.tSeconds + s_nUtcOffset.load(std::memory_order_relaxed);
    long long nDays = nLocal >= 0 ? nLocal / 86400 : (nLocal - 86399) / 86400;
    long long nSecs = nLocal - nDays * 86400;
    // Civil date of nDays (the inverse of DaysFromCivil).
    long long z = nDays + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = (long long)yoe + era * 400 + (m <= 2);
    text.PutDec((unsigned long long)(y < 0 ? 0 : y), 4);
    text.Put("-");
    text.PutDec(m, 2);
    text.Put("-");
    text.PutDec(d, 2);
    text.Put(" ");
    text.PutDec((unsigned long long)(nSecs / 3600), 2);
    text.Put(":");
    text.PutDec((unsigned long long)(nSecs / 60 % 60), 2);
    text.Put(":");
    text.PutDec((unsigned long long)(nSecs % 60), 2);
    if (nDigits == 3 || nDigits == 6) {
        text.Put(".");
        text.PutDec((unsigned long long)(now.nNanos / (nDigits == 3 ? 1000000 : 1000)), nDigits);
    }
}

// Appends one frame's line: "\r\n    #<n> <module>+0x<offset>[ <symbol>+0x<offset>]".
void PutFrame(CCrashText& text, size_t nIndex, const QW_CRASH_FRAME& frame)
{
    text.Put("\r\n    #");
    text.PutDec(nIndex);
    text.Put(" ");
    if (frame.pszModule == NULL) {
        text.PutHex(frame.nAddress);
        return;
    }
    text.Put(frame.pszModule, frame.nModuleLen);
    text.Put("+");
    text.PutHex(frame.nOffset);
    if (frame.pszSymbol == NULL)
        return;
    text.Put(" ");
    text.Put(frame.pszSymbol, frame.nSymbolLen);
    text.Put("+");
    text.PutHex(frame.nSymbolOffset);
}

// Waits until no other thread reports a crash, a bounded while. TRUE when this
// thread reports.
bool BeginReport()
{
    for (unsigned long i = 0; i < REPORT_WAIT_TRIES; ++i) {
        bool bFree = false;
        if (s_bReporting.compare_exchange_strong(bFree, true))
            return true;
        QwCpuRelax();
    }
    return false;
}

// Writes the entry of facts to the file of one watched object, and its dump.
void ReportTo(CWatch& watch, const QW_CRASH_FACTS& facts, const QW_CLOCK_READING& now)
{
    FILE* const* ppFile = watch.ppFile.load();
    QW_LOCK* pLock = watch.pLock.load();
    if (ppFile == NULL || pLock == NULL)
        return;
    // Without its lock the entry is still written: better an entry beside
    // another thread's than none.
    bool bTaken = facts.bLock && QwCrashEnterLock(pLock);
    FILE* pFile = *ppFile;
    if (pFile != NULL) {
        size_t nLen = CCrashReport::LayOut(s_szEntry, sizeof(s_szEntry), facts, now, watch.nDigits.load(),
                                           watch.bThread.load());
        QwCrashAppend(pFile, s_szEntry, nLen, &CLogAppend::Whole);
        QwCrashDump(pFile, facts);
    }
    if (bTaken && facts.bHold)
        watch.bHeld = true;
    else if (bTaken)
        QwLeaveLock(pLock);
}

} // namespace

bool CCrashReport::Watch(FILE* const* ppFile, QW_LOCK* pLock, int nDigits, bool bThread)
{
    std::lock_guard<std::mutex> guard(s_mxWatch);
    s_nUtcOffset = UtcOffset(QwSystemClock());
    for (size_t i = 0; i < MAX_WATCHED; ++i) {
        if (s_watched[i].ppFile.load() != NULL)
            continue;
        if (s_nWatched == 0 && !QwInstallCrashHandler(&CCrashReport::Report, &CCrashReport::Resume))
            return false;
        s_watched[i].pLock = pLock;
        s_watched[i].nDigits = nDigits;
        s_watched[i].bThread = bThread;
        s_watched[i].ppFile = ppFile;
        ++s_nWatched;
        return true;
    }
    return false;
}

void CCrashReport::Unwatch(FILE* const* ppFile)
{
    std::lock_guard<std::mutex> guard(s_mxWatch);
    for (size_t i = 0; i < MAX_WATCHED; ++i) {
        if (s_watched[i].ppFile.load() != ppFile)
            continue;
        s_watched[i].ppFile = NULL;
        if (--s_nWatched == 0)
            QwRemoveCrashHandler();
        return;
    }
}

size_t CCrashReport::Watched() { return s_nWatched.load(); }

size_t CCrashReport::LayOut(char* pszBuf, size_t nSize, const QW_CRASH_FACTS& facts, const QW_CLOCK_READING& now,
                            int nDigits, bool bThread)
{
    const size_t nEnd = sizeof(s_szEntryEnd) - 1;
    if (nSize < nEnd)
        return 0;
    CCrashText text(pszBuf, nSize - nEnd);
    PutStamp(text, now, nDigits);
    if (bThread) {
        text.Put(" [");
        text.PutDec(facts.nThread);
        text.Put("]");
    }
    text.Put("  CRASH ");
    text.Put(facts.pszName != NULL ? facts.pszName : "unknown");
    text.Put(" (");
    if (facts.nCode > 0xffff)
        text.PutHex(facts.nCode);
    else
        text.PutDec(facts.nCode);
    text.Put(")");
    if (facts.pszDetail != NULL) {
        text.Put(" ");
        text.Put(facts.pszDetail);
    }
    if (facts.bAddress) {
        text.Put(" at address ");
        text.PutHex(facts.nAddress);
    }
    text.Put(" in thread ");
    text.PutDec(facts.nThread);
    for (size_t i = 0; i < facts.nFrames && text.Room() != 0; ++i)
        PutFrame(text, i, facts.pFrames[i]);
    // A cut entry ends at its last whole line.
    if (text.Room() == 0) {
        size_t nLen = text.Length();
        while (nLen > 0 && pszBuf[nLen - 1] != '\n')
            --nLen;
        text.Drop(text.Length() - (nLen >= 2 ? nLen - 2 : 0));
    }
    size_t nLen = text.Length();
    memcpy(pszBuf + nLen, s_szEntryEnd, nEnd);
    return nLen + nEnd;
}

void CCrashReport::Report(const QW_CRASH_FACTS& facts)
{
    if (!BeginReport())
        return;
    QW_CLOCK_READING now;
    QwSystemClockPrecise(&now);
    for (size_t i = 0; i < MAX_WATCHED; ++i)
        ReportTo(s_watched[i], facts, now);
    if (!facts.bHold)
        s_bReporting = false;
}

void CCrashReport::Resume()
{
    for (size_t i = 0; i < MAX_WATCHED; ++i) {
        CWatch& watch = s_watched[i];
        QW_LOCK* pLock = watch.pLock.load();
        if (watch.bHeld.exchange(false) && pLock != NULL)
            QwLeaveLock(pLock);
    }
    s_bReporting = false;
}

long CCrashReport::UtcOffset(time_t tNow)
{
    struct tm tmLocal;
    if (!QwLocalTime(&tNow, &tmLocal))
        return 0;
    long long nLocal = DaysFromCivil((long long)tmLocal.tm_year + 1900, (unsigned)tmLocal.tm_mon + 1,
                                     (unsigned)tmLocal.tm_mday) * 86400 +
                       tmLocal.tm_hour * 3600 + tmLocal.tm_min * 60 + tmLocal.tm_sec;
    return (long)(nLocal - (long long)tNow);
}
