// A host for the terminal and dump suites: loads the library beside it and drives the
// console mirror the way a busy program does, reporting what it saw to files.
//   race <seconds> <result file>  one object toggles its mirror (and reopens its
//       file) in a loop while another writes with its mirror on, and a host thread
//       opens and closes files of its own; the result file gets "files <n> foreign
//       <files> <bytes>": how many host files were made and how many received bytes
//       the host never wrote.
//   stall <folder>  two threads log through one object with the mirror on; the
//       folder receives "status" ("<calls of thread 1> <calls of thread 2>") every
//       50 ms. When "<folder>/resume" appears the threads stop and one entry
//       "RESUMED-MARK" is written (and "resumed" made); "<folder>/stop" ends the host.
//   entries <n>  opens a log, switches the mirror on, and writes n entries and n
//       dumps of 100 bytes (each of several coloured pieces), at a pace the
//       terminal keeps up with, then closes.
//   hostile  opens a log, switches the mirror on and logs, as "%s", text with
//       escape sequences a peer might send (window title, clipboard, clear screen,
//       a link, a C1 CSI) and a euro sign, then "HOSTILE-DONE", then closes.
//   dump <MiB>  opens a log and writes the entry "BEFORE-DUMP", one hex dump of
//       that many MiB and the entry "AFTER-DUMP" (mirror off), then closes.
#include "QwLoader.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

std::atomic<bool> s_bStop(false);

bool Exists(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0;
}

// Writes strText to strPath through a temporary name, so a reader never sees half.
void Publish(const std::string& strPath, const std::string& strText)
{
    std::string strTmp = strPath + ".tmp";
    FILE* p = fopen(strTmp.c_str(), "w");
    if (p == NULL)
        return;
    fputs(strText.c_str(), p);
    fclose(p);
    rename(strTmp.c_str(), strPath.c_str());
}

// Switches pLog's mirror on and off, and reopens its file now and then, until stopped.
void Toggle(ILogObject* pLog)
{
    for (int i = 0; !s_bStop.load(); ++i) {
        pLog->ShowConsole(1);
        pLog->WriteLog("toggle %d", i);
        pLog->ShowConsole(0);
        if (i % 16 == 0) {
            pLog->Close();
            pLog->Open("toggle");
        }
    }
}

// Writes entries through pLog, whose mirror is on, until stopped.
void Write(ILogObject* pLog)
{
    for (int i = 0; !s_bStop.load(); ++i)
        pLog->WriteLog("writer entry %d with a line of text", i);
}

// Opens a handful of files of the host's own at a time (so one of them is likely to
// get a number just freed), holds them for a moment and closes them, counting those
// that came back with bytes in them. Returns the result line.
std::string OpenHostFiles(int nSeconds)
{
    const std::string strDir = QwHostFolder() + "/hostfiles";
    mkdir(strDir.c_str(), 0700);
    const int HELD = 8;
    long nFiles = 0, nForeign = 0, nBytes = 0;
    auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
    while (std::chrono::steady_clock::now() < tEnd) {
        int afd[HELD];
        std::string astrPath[HELD];
        for (int i = 0; i < HELD; ++i) {
            astrPath[i] = strDir + "/f" + std::to_string(i);
            afd[i] = open(astrPath[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        }
        usleep(50);
        for (int i = 0; i < HELD; ++i) {
            if (afd[i] < 0)
                continue;
            ++nFiles;
            close(afd[i]);
            struct stat st;
            if (stat(astrPath[i].c_str(), &st) == 0 && st.st_size > 0) {
                ++nForeign;
                nBytes += (long)st.st_size;
                rename(astrPath[i].c_str(), (strDir + "/foreign" + std::to_string(nForeign)).c_str());
            }
        }
    }
    return "files " + std::to_string(nFiles) + " foreign " + std::to_string(nForeign) + " " + std::to_string(nBytes) + "\n";
}

int Race(PFN_CREATELOGOBJECT pfnCreate, int nSeconds, const std::string& strResult)
{
    ILogObject* pToggler = pfnCreate(0);
    ILogObject* pWriter = pfnCreate(0);
    if (pToggler == NULL || pWriter == NULL)
        return 3;
    // The toggler shows first, so that it is the one whose switch frees the console.
    pToggler->Open("toggle");
    pToggler->ShowConsole(1);
    pWriter->Open("writer");
    pWriter->ShowConsole(1);
    std::thread toggler(Toggle, pToggler), writer(Write, pWriter);
    std::string strLine = OpenHostFiles(nSeconds);
    s_bStop.store(true);
    toggler.join();
    writer.join();
    pToggler->Release();
    pWriter->Release();
    Publish(strResult, strLine);
    return 0;
}

std::atomic<long> s_anCalls[2];

// Logs through pLog until stopped, counting the calls that came back.
void Log(ILogObject* pLog, int nThread)
{
    for (int i = 0; !s_bStop.load(); ++i) {
        pLog->WriteLog("thread %d entry %d", nThread + 1, i);
        s_anCalls[nThread].fetch_add(1);
        usleep(2000);
    }
}

int Stall(PFN_CREATELOGOBJECT pfnCreate, const std::string& strDir)
{
    ILogObject* pLog = pfnCreate(0);
    if (pLog == NULL || !pLog->Open("stall"))
        return 3;
    pLog->ShowConsole(1);
    std::thread one(Log, pLog, 0), two(Log, pLog, 1);
    bool bResumed = false;
    while (!Exists(strDir + "/stop")) {
        Publish(strDir + "/status", std::to_string(s_anCalls[0].load()) + " " + std::to_string(s_anCalls[1].load()) + "\n");
        if (!bResumed && Exists(strDir + "/resume")) {
            // The writers stop first, so that the mark stays the terminal's last line
            // and no later entries push it out of sight before the suite looks.
            s_bStop.store(true);
            one.join();
            two.join();
            pLog->WriteLog("RESUMED-MARK");
            Publish(strDir + "/resumed", "1\n");
            bResumed = true;
        }
        usleep(50000);
    }
    s_bStop.store(true);
    if (one.joinable())
        one.join();
    if (two.joinable())
        two.join();
    pLog->Release();
    return 0;
}

int Entries(PFN_CREATELOGOBJECT pfnCreate, int nCount)
{
    ILogObject* pLog = pfnCreate(0);
    if (pLog == NULL || !pLog->Open("entries"))
        return 3;
    pLog->ShowConsole(1);
    unsigned char abData[100];
    for (size_t i = 0; i < sizeof(abData); ++i)
        abData[i] = (unsigned char)i;
    for (int i = 0; i < nCount; ++i) {
        pLog->WriteLog("entry %d", i);
        pLog->WriteHex(abData, sizeof(abData), i % 2, 1);
        usleep(3000);  // time for the terminal to take it: this counts writes, not drops
    }
    pLog->Close();
    pLog->Release();
    return 0;
}

// The text the hostile mode logs: title (OSC 0), clipboard (OSC 52), clear screen
// (CSI 2J), a disguised link (OSC 8), C1 CSI (C2 9B) and a euro sign.
const char HOSTILE_TEXT[] = "T[\x1b]0;PWNED-TITLE\x07] C[\x1b]52;c;SGVsbG8=\x07] K[\x1b[2J] "
                            "L[\x1b]8;;http://evil.example/\x1b\\click\x1b]8;;\x1b\\] R[\xc2\x9b" "31mred] E[\xe2\x82\xac]";

int Hostile(PFN_CREATELOGOBJECT pfnCreate)
{
    ILogObject* pLog = pfnCreate(0);
    if (pLog == NULL || !pLog->Open("hostile"))
        return 3;
    pLog->ShowConsole(1);
    pLog->WriteLog("%s", HOSTILE_TEXT);
    pLog->WriteLog("HOSTILE-DONE");
    pLog->Close();
    pLog->Release();
    return 0;
}

int Dump(PFN_CREATELOGOBJECT pfnCreate, unsigned int nMiB)
{
    ILogObject* pLog = pfnCreate(0);
    if (pLog == NULL || !pLog->Open("dump"))
        return 3;
    unsigned int nSize = nMiB << 20;
    unsigned char* pData = (unsigned char*)malloc(nSize);
    if (pData == NULL)
        return 4;
    for (unsigned int i = 0; i < nSize; ++i)
        pData[i] = (unsigned char)(i * 13);
    pLog->WriteLog("BEFORE-DUMP");
    pLog->WriteHex(pData, nSize, 1, 1);
    pLog->WriteLog("AFTER-DUMP");
    free(pData);
    pLog->Close();
    pLog->Release();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    PFN_CREATELOGOBJECT pfnCreate = QwLoadFactory();
    if (pfnCreate == NULL) {
        fprintf(stderr, "cannot load %s beside the program\n", QwLibraryName());
        return 2;
    }
    std::string strMode = argc > 1 ? argv[1] : "";
    if (strMode == "race" && argc == 4)
        return Race(pfnCreate, atoi(argv[2]), argv[3]);
    if (strMode == "stall" && argc == 3)
        return Stall(pfnCreate, argv[2]);
    if (strMode == "entries" && argc == 3)
        return Entries(pfnCreate, atoi(argv[2]));
    if (strMode == "hostile" && argc == 2)
        return Hostile(pfnCreate);
    if (strMode == "dump" && argc == 3)
        return Dump(pfnCreate, (unsigned int)atoi(argv[2]));
    fprintf(stderr, "usage: %s race <seconds> <result file> | stall <folder> | entries <n> | hostile | dump <MiB>\n", argv[0]);
    return 2;
}
