// CStamp: the stamp of entries and dumps. See Stamp.h.
#include "Stamp.h"

#include "Framework.h"
#include "Settings.h"

#include <ctype.h>
#include <string.h>

namespace {

const long NANOS_PER_SECOND = 1000000000L;
const size_t TIME_LENGTH = 19;  // "YYYY-MM-DD HH:MM:SS"

// True when psz reads pszWord without regard to ASCII case.
bool SameWord(const char* psz, const char* pszWord)
{
    for (; *pszWord != '\0'; ++psz, ++pszWord)
        if (tolower((unsigned char)*psz) != tolower((unsigned char)*pszWord))
            return false;
    return *psz == '\0';
}

// Decimal digits of n.
size_t DigitCount(DWORD n)
{
    size_t nDigits = 1;
    for (; n >= 10; n /= 10)
        ++nDigits;
    return nDigits;
}

} // namespace

CStamp::CStamp()
    : m_nDigits(0)
    , m_bThread(false)
    , m_tCached(0)
    , m_nTime(0)
{
    m_szTime[0] = '\0';
}

void CStamp::ReadSettings(const CSettings& settings)
{
    std::string strStamp;
    m_nDigits = 0;
    if (settings.String("LOG", "STAMP", strStamp))
        m_nDigits = SameWord(strStamp.c_str(), "MS") ? 3 : SameWord(strStamp.c_str(), "US") ? 6 : 0;
    m_bThread = settings.Flag("LOG", "THREAD") == TRUE;
}

QW_CLOCK_READING CStamp::Read() const
{
    QW_CLOCK_READING now;
    if (m_nDigits == 0) {
        now.tSeconds = QwTime();  // the plain clock, as whole-second stamps always had it
        now.nNanos = 0;
    } else {
        QwPreciseTime(&now);
    }
    return now;
}

size_t CStamp::Format(char* pszStamp, const QW_CLOCK_READING& now, const char* pszTail, DWORD nThread)
{
    if (now.tSeconds != m_tCached || m_szTime[0] == '\0') {
        struct tm tmNow;
        memset(&tmNow, 0, sizeof(tmNow));
        memset(m_szTime, 0, sizeof(m_szTime));
        time_t tNow = now.tSeconds;
        if (!QwLocalTime(&tNow, &tmNow) || strftime(m_szTime, sizeof(m_szTime), "%Y-%m-%d %H:%M:%S", &tmNow) == 0)
            memset(m_szTime, 0, sizeof(m_szTime));
        m_nTime = strlen(m_szTime);
        m_tCached = now.tSeconds;
    }
    if (m_szTime[0] == '\0')
        return 0;
    char* p = pszStamp;
    memcpy(p, m_szTime, m_nTime);
    p += m_nTime;
    p += PutFraction(p, now.nNanos);
    if (m_bThread)
        p += PutThread(p, nThread);
    // A tail longer than the room left is cut, so the stamp never passes STAMP_MAX.
    for (const char* pszEnd = pszStamp + STAMP_MAX; *pszTail != '\0' && p < pszEnd;)
        *p++ = *pszTail++;
    return (size_t)(p - pszStamp);
}

// Writes ".mmm" or ".uuuuuu" of nNanos, truncated, or nothing for whole seconds;
// gives the length. A reading out of range (a faulty clock) shows as .000 or .999...
size_t CStamp::PutFraction(char* p, long nNanos) const
{
    if (m_nDigits == 0)
        return 0;
    long nPart = nNanos < 0 ? 0 : nNanos >= NANOS_PER_SECOND ? NANOS_PER_SECOND - 1 : nNanos;
    for (int i = m_nDigits; i < 9; ++i)
        nPart /= 10;
    p[0] = '.';
    for (int i = m_nDigits; i > 0; --i, nPart /= 10)
        p[i] = (char)('0' + nPart % 10);
    return (size_t)m_nDigits + 1;
}

// Writes " [nThread]" and gives its length.
size_t CStamp::PutThread(char* p, DWORD nThread)
{
    size_t nDigits = DigitCount(nThread);
    p[0] = ' ';
    p[1] = '[';
    for (size_t i = nDigits; i > 0; --i, nThread /= 10)
        p[1 + i] = (char)('0' + nThread % 10);
    p[2 + nDigits] = ']';
    return nDigits + 3;
}

size_t CStamp::Length(size_t nTail) const
{
    size_t nLen = TIME_LENGTH + (m_nDigits != 0 ? (size_t)m_nDigits + 1 : 0) + nTail;
    if (m_bThread)
        nLen += DigitCount(QwThreadId()) + 3;
    return nLen;
}
