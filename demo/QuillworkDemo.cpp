// The demo host: loads the library by name, opens a log, writes a few entries
// and dumps, and prints where the file went.
#include "QwLoader.h"

#include <stdio.h>
#include <time.h>

#include <string>

namespace {

// The day folder a log object made today: <host folder>/Log/YYYY-MM-DD.
std::string TodayFolder()
{
    char szDate[20] = { 0 };
    time_t tNow = time(NULL);
    strftime(szDate, sizeof(szDate), "%Y-%m-%d", localtime(&tNow));
    return QwHostFolder() + QwSeparator() + "Log" + QwSeparator() + szDate;
}

// The file name Open("Demo") makes at tOpened.
std::string LogFileName(time_t tOpened)
{
    char szTime[20] = { 0 };
    strftime(szTime, sizeof(szTime), "%H%M%S", localtime(&tOpened));
    return std::string(szTime) + "_Demo.log";
}

// Writes one of each kind of entry.
void WriteSamples(ILogObject* pLog)
{
    const unsigned char data[20] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19 };
    pLog->WriteLog("%d items", 3);
    pLog->WriteLog("host %s started, build %u", "demo", 42u);
    pLog->WriteHex(data, sizeof(data), 1, 1);
    pLog->WriteHex(data, sizeof(data), 0, 0);
    pLog->WriteSilent("not recorded %d", 1);
}

} // namespace

int main(int argc, char** argv)
{
    bool bShow = argc > 1 && std::string(argv[1]) == "--console";
    PFN_CREATELOGOBJECT pfnCreate = QwLoadFactory();
    if (pfnCreate == NULL) {
        fprintf(stderr, "cannot load %s beside the program\n", QwLibraryName());
        return 2;
    }
    ILogObject* pLog = pfnCreate(0);
    if (pLog == NULL) {
        fprintf(stderr, "CreateLogObject(0) gave no object\n");
        return 3;
    }
    printf("day folder: %s\n", TodayFolder().c_str());
    if (bShow)
        pLog->ShowConsole(1);
    time_t tOpened = time(NULL);
    if (!pLog->Open("Demo")) {
        fprintf(stderr, "Open failed\n");
        pLog->Release();
        return 4;
    }
    if (bShow)
        pLog->ShowConsole(1);
    WriteSamples(pLog);
    printf("log file: %s%c%s\n", TodayFolder().c_str(), QwSeparator(), LogFileName(tOpened).c_str());
    pLog->Close();
    pLog->Release();
    return 0;
}
