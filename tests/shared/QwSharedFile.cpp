// Several writers on one log file: two objects of one process, or one object in
// each of several processes, all opening the same name in the same second. Then
// a checker reads the file back: every entry whole, none interleaved, counts exact.
//
//   qw_sharedfile objects <count> <start>      two objects on two threads
//   qw_sharedfile write <id> <count> <start>   one writer (run several at once)
//   qw_sharedfile raw <id> <count> <start>     the same bytes without the library,
//                                              one append-only write per entry
//   qw_sharedfile check <file> <writers> <count>
// <start> is the second (time()) at which the writers open the file.
#include "QwLoader.h"
#include "QwLogText.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
// Appends through a handle of its own with FILE_APPEND_DATA only, as the library does.
struct RawFile
{
    explicit RawFile(const std::string& strPath)
        : h(CreateFileA(strPath.c_str(), FILE_GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL)) {}
    ~RawFile() { CloseHandle(h); }
    void Append(const std::string& str) { DWORD n = 0; WriteFile(h, str.data(), (DWORD)str.size(), &n, NULL); }
    HANDLE h;
};
#else
#include <fcntl.h>
struct RawFile
{
    explicit RawFile(const std::string& strPath) : fd(open(strPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644)) {}
    ~RawFile() { close(fd); }
    void Append(const std::string& str) { ssize_t n = write(fd, str.data(), str.size()); (void)n; }
    int fd;
};
#endif

namespace {

using qwtest::BANNER;
const int DUMP_EVERY = 100;     // every 100th entry of a writer is followed by a dump
const unsigned int DUMP_SIZE = 40;  // three dump lines

// The dump's payload for writer nId: its bytes carry the writer's number.
std::vector<unsigned char> DumpData(int nId)
{
    std::vector<unsigned char> data(DUMP_SIZE);
    for (unsigned int i = 0; i < DUMP_SIZE; ++i)
        data[i] = (unsigned char)(nId * 16 + i);
    return data;
}

// Waits until time() reaches tStart.
void WaitFor(time_t tStart)
{
    while (time(NULL) < tStart)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Writes nCount entries (and a dump after every DUMP_EVERY-th) as writer nId.
bool WriteAll(ILogObject* pLog, int nId, int nCount)
{
    std::vector<unsigned char> data = DumpData(nId);
    for (int i = 0; i < nCount; ++i) {
        if (pLog->WriteLog("w%d n%d", nId, i) != 1)
            return false;
        if (i % DUMP_EVERY == DUMP_EVERY - 1 && pLog->WriteHex(&data[0], DUMP_SIZE, 1, 1) != 1)
            return false;
    }
    return true;
}

// Makes an object, opens "Shared" at tStart, writes as writer nId, releases it.
bool RunWriter(PFN_CREATELOGOBJECT pfnCreate, int nId, int nCount, time_t tStart)
{
    ILogObject* pLog = pfnCreate(0);
    if (pLog == NULL)
        return false;
    WaitFor(tStart);
    bool bOk = pLog->Open("Shared") == 1 && WriteAll(pLog, nId, nCount);
    pLog->Release();
    return bOk;
}

int Objects(int nCount, time_t tStart)
{
    PFN_CREATELOGOBJECT pfnCreate = QwLoadFactory();
    if (pfnCreate == NULL)
        return 2;
    bool abOk[2] = { false, false };
    std::thread first([&] { abOk[0] = RunWriter(pfnCreate, 1, nCount, tStart); });
    std::thread second([&] { abOk[1] = RunWriter(pfnCreate, 2, nCount, tStart); });
    first.join();
    second.join();
    return abOk[0] && abOk[1] ? 0 : 1;
}

int Write(int nId, int nCount, time_t tStart)
{
    PFN_CREATELOGOBJECT pfnCreate = QwLoadFactory();
    if (pfnCreate == NULL)
        return 2;
    return RunWriter(pfnCreate, nId, nCount, tStart) ? 0 : 1;
}

// The text of writer nId's dump after its stamp ("YYYY-MM-DD HH:MM:SS").
std::string DumpText(int nId)
{
    std::vector<unsigned char> data = DumpData(nId);
    return qwtest::DumpEntry("", &data[0], data.size(), true, true);
}

// Writes what a writer's object would, stamp of the moment included, one append
// per entry, into <host>/Log/raw/HHMMSS_Shared.log; no library involved.
int Raw(int nId, int nCount, time_t tStart)
{
    const std::string strDir = QwHostFolder() + QwSeparator() + "Log";
    WaitFor(tStart);
    char szStamp[32], szName[32];
    struct tm tmNow = *localtime(&tStart);
    strftime(szName, sizeof(szName), "%H%M%S_Shared.log", &tmNow);
    RawFile file(strDir + QwSeparator() + szName);
    file.Append(BANNER);
    const std::string strDump = DumpText(nId);
    for (int i = 0; i < nCount; ++i) {
        time_t tNow = time(NULL);
        strftime(szStamp, sizeof(szStamp), "%Y-%m-%d %H:%M:%S", localtime(&tNow));
        file.Append(std::string(szStamp) + "  w" + std::to_string(nId) + " n" + std::to_string(i) + "\r\n\r\n");
        if (i % DUMP_EVERY == DUMP_EVERY - 1)
            file.Append(szStamp + strDump);
    }
    return 0;
}

int Check(const char* pszFile, int nWriters, int nCount)
{
    FILE* p = fopen(pszFile, "rb");
    if (p == NULL) {
        printf("cannot read %s\n", pszFile);
        return 2;
    }
    std::string str;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
        str.append(buf, n);
    fclose(p);

    std::map<int, int> next, dumps;
    int nBanners = 0, nBroken = 0;
    size_t nPos = 0;
    const size_t nBanner = strlen(BANNER);
    while (nPos < str.size() && nBroken == 0) {
        if (str.compare(nPos, nBanner, BANNER) == 0) {
            ++nBanners;
            nPos += nBanner;
            continue;
        }
        int nId = 0, nNum = 0, nUsed = 0;
        if (qwtest::IsStamp(str, nPos) && sscanf(str.c_str() + nPos + 19, "  w%d n%d%n", &nId, &nNum, &nUsed) == 2 &&
            str.compare(nPos + 19 + nUsed, 4, "\r\n\r\n") == 0) {
            if (nNum != next[nId])
                ++nBroken;  // lost, repeated or out of order
            next[nId] = nNum + 1;
            nPos += 19 + nUsed + 4;
            continue;
        }
        bool bDump = false;
        for (int nWho = 1; nWho <= nWriters && !bDump; ++nWho) {
            std::string strDump = DumpText(nWho);
            if (qwtest::IsStamp(str, nPos) && str.compare(nPos + 19, strDump.size(), strDump) == 0) {
                ++dumps[nWho];
                nPos += 19 + strDump.size();
                bDump = true;
            }
        }
        if (!bDump) {
            printf("broken entry at byte %zu: %.60s\n", nPos, str.c_str() + nPos);
            ++nBroken;
        }
    }
    bool bOk = nBroken == 0 && nBanners == nWriters;
    for (int nId = 1; nId <= nWriters; ++nId) {
        printf("writer %d: %d entries, %d dumps\n", nId, next[nId], dumps[nId]);
        bOk = bOk && next[nId] == nCount && dumps[nId] == nCount / DUMP_EVERY;
    }
    printf("%d banners, %d broken, %zu bytes\n", nBanners, nBroken, str.size());
    return bOk ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string strMode = argc > 1 ? argv[1] : "";
    if (strMode == "objects" && argc == 4)
        return Objects(atoi(argv[2]), (time_t)atoll(argv[3]));
    if (strMode == "write" && argc == 5)
        return Write(atoi(argv[2]), atoi(argv[3]), (time_t)atoll(argv[4]));
    if (strMode == "raw" && argc == 5)
        return Raw(atoi(argv[2]), atoi(argv[3]), (time_t)atoll(argv[4]));
    if (strMode == "check" && argc == 5)
        return Check(argv[2], atoi(argv[3]), atoi(argv[4]));
    fprintf(stderr, "usage: qw_sharedfile objects <count> <start> | write <id> <count> <start> | check <file> <writers> <count>\n");
    return 2;
}
