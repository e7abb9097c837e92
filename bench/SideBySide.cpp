// Builds of the library side by side in one process: each is loaded by path,
// and each one's object and the floor (one write(2) of the same bytes to an
// append file) write in turn, round after round, each round starting with
// another writer; the figure is the median of the rounds' ratios to the floor.
// One thread, so it measures what one call costs, before and after a change:
//   qw_sidebyside [--rounds=N] [--calls=N] [--size=0|16|4096] before/libquillwork.so after/libquillwork.so
// --size=0 (the default) writes WriteLog("%d items", 3), else dumps of that
// many bytes. --ini=TEXT puts TEXT ("\n" for a line end) into Quillwork.ini
// beside the program while the libraries named after it make their objects
// (--ini= alone: none), so one build can be measured against itself with other
// settings: lib.so --ini='[LOG]\nSTAMP=MS' lib.so. Run it from its own folder: the objects write below its Log
// folder, the floor beside them; the files are removed at the end.
#include "Quillwork.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <glob.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace {

unsigned char s_abData[4096];

// One writer: a library's object, or the floor when pLog is NULL.
struct QW_WRITER_AT
{
    std::string strName;
    std::string strPath;  // its file
    ILogObject* pLog;
    int fd;               // the floor's append file
    std::string strBytes; // what one call adds to the file
};

void Call(QW_WRITER_AT& w, unsigned int nSize)
{
    if (w.pLog == NULL)
        (void)!write(w.fd, w.strBytes.data(), w.strBytes.size());
    else if (nSize == 0)
        w.pLog->WriteLog("%d items", 3);
    else
        w.pLog->WriteHex(s_abData, nSize, 1, 1);
}

// The file the object opened as pszName, in any day folder of ./Log.
std::string FileOf(const std::string& strName)
{
    glob_t g;
    std::string strPattern = "Log/*/*_" + strName + ".log", strFile;
    if (glob(strPattern.c_str(), 0, NULL, &g) == 0 && g.gl_pathc != 0)
        strFile = g.gl_pathv[g.gl_pathc - 1];
    globfree(&g);
    return strFile;
}

long long SizeOf(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

// Loads the library at pszPath and opens an object of it; the bytes one call
// adds come from its file. FALSE when it cannot be loaded or opened.
bool Load(const char* pszPath, int nIndex, unsigned int nSize, QW_WRITER_AT& w)
{
    void* hLib = dlopen(pszPath, RTLD_NOW | RTLD_LOCAL);
    PFN_CREATELOGOBJECT pfnCreate = hLib != NULL ? (PFN_CREATELOGOBJECT)dlsym(hLib, "CreateLogObject") : NULL;
    w.pLog = pfnCreate != NULL ? pfnCreate(0) : NULL;
    std::string strName = "side" + std::to_string(nIndex);
    if (w.pLog == NULL || !w.pLog->Open(strName.c_str()))
        return false;
    w.strName = pszPath;
    w.strPath = FileOf(strName);
    w.fd = -1;
    long long nBefore = SizeOf(w.strPath);
    Call(w, nSize);
    long long nAfter = SizeOf(w.strPath);
    FILE* pFile = fopen(w.strPath.c_str(), "rb");
    if (pFile == NULL || nBefore < 0 || nAfter <= nBefore)
        return false;
    std::string strAll((size_t)nAfter, '\0');
    bool bRead = fread(&strAll[0], 1, strAll.size(), pFile) == strAll.size();
    fclose(pFile);
    w.strBytes = strAll.substr((size_t)nBefore);
    return bRead;
}

// Quillwork.ini beside this program: the settings an object reads when it is
// made. strText empty: no file (a file there before is removed).
void PutIni(const std::string& strText)
{
    char szExe[4096];
    ssize_t nLen = readlink("/proc/self/exe", szExe, sizeof(szExe) - 1);
    if (nLen <= 0)
        return;
    std::string strIni(szExe, (size_t)nLen);
    strIni = strIni.substr(0, strIni.rfind('/') + 1) + "Quillwork.ini";
    std::string strBody;
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText.compare(i, 2, "\\n") == 0) {
            strBody += "\r\n";
            ++i;
        } else {
            strBody += strText[i];
        }
    }
    unlink(strIni.c_str());
    FILE* pFile = strBody.empty() ? NULL : fopen(strIni.c_str(), "wb");
    if (pFile != NULL) {
        fwrite(strBody.data(), 1, strBody.size(), pFile);
        fclose(pFile);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int nRounds = 21, nCalls = 20000;
    unsigned int nSize = 0;
    std::string strIni;
    bool bIniPut = false;  // an --ini= wrote or removed the file: remove it at the end
    std::vector<QW_WRITER_AT> writers;
    for (unsigned int i = 0; i < sizeof(s_abData); ++i)
        s_abData[i] = (unsigned char)(i * 7);
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--rounds=", 9) == 0)
            nRounds = std::max(1, atoi(argv[i] + 9));
        else if (strncmp(argv[i], "--calls=", 8) == 0)
            nCalls = std::max(1, atoi(argv[i] + 8));
        else if (strncmp(argv[i], "--size=", 7) == 0)
            nSize = (unsigned int)std::min(4096, std::max(0, atoi(argv[i] + 7)));
        else if (strncmp(argv[i], "--ini=", 6) == 0) {
            strIni = argv[i] + 6;
            PutIni(strIni);
            bIniPut = true;
        } else {
            QW_WRITER_AT w;
            if (!Load(argv[i], (int)writers.size(), nSize, w)) {
                fprintf(stderr, "%s: could not be loaded or opened\n", argv[i]);
                return 1;
            }
            if (!strIni.empty())
                w.strName += " (" + strIni + ")";
            writers.push_back(w);
        }
    }
    if (bIniPut)
        PutIni("");
    if (writers.empty()) {
        fprintf(stderr, "usage: qw_sidebyside [--rounds=N] [--calls=N] [--size=0|16|4096] [--ini=TEXT] lib.so...\n");
        return 2;
    }
    QW_WRITER_AT floor = { "floor: one write(2)", "Log/floor.log", NULL, -1, writers[0].strBytes };
    floor.fd = open(floor.strPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (floor.fd < 0)
        return 1;
    writers.push_back(floor);

    const size_t nWriters = writers.size();
    std::vector<std::vector<double>> times(nWriters), ratios(nWriters);
    for (int nRound = 0; nRound < nRounds; ++nRound) {
        std::vector<double> now(nWriters);
        for (size_t k = 0; k < nWriters; ++k) {
            QW_WRITER_AT& w = writers[(k + (size_t)nRound) % nWriters];
            (void)!truncate(w.strPath.c_str(), 0);  // every writer on an empty file (appends)
            std::chrono::steady_clock::time_point tStart = std::chrono::steady_clock::now();
            for (int c = 0; c < nCalls; ++c)
                Call(w, nSize);
            now[(k + (size_t)nRound) % nWriters] =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count() * 1e9 / nCalls;
        }
        for (size_t i = 0; i < nWriters; ++i) {
            times[i].push_back(now[i]);
            ratios[i].push_back(now[i] / now.back());
        }
    }
    printf("%s, %zu bytes a call; %d rounds of %d calls, median\n\n", nSize == 0 ? "WriteLog(\"%d items\", 3)" : ("WriteHex of " + std::to_string(nSize) + " bytes").c_str(),
           writers[0].strBytes.size(), nRounds, nCalls);
    printf("| writer | time/call | × floor |\n|---|---:|---:|\n");
    for (size_t i = 0; i < nWriters; ++i)
        printf("| %s | %.0f ns | %.3f |\n", writers[i].strName.c_str(), Median(times[i]), Median(ratios[i]));
    for (QW_WRITER_AT& w : writers) {
        if (w.pLog != NULL) {
            w.pLog->Close();
            w.pLog->Release();
        }
        unlink(w.strPath.c_str());
    }
    close(floor.fd);
    return 0;
}
