// A long-running program set up as a service would be: one log object for its whole life,
// a status entry and a dump of its status block ten times a second, a clean stop on
// SIGTERM (systemctl stop, kill) or Ctrl+C. Quillwork.ini beside the program (copied there
// by CMake) makes the log follow the calendar (DAILY), start a new file when one grows
// past MAXFILEMB and remove day folders older than KEEPDAYS.
//
//   service [seconds]     run that long (0 or none: until stopped)
//
// The logs: Log/YYYY-MM-DD/HHMMSS_Service.log beside the program, a new file each time
// the current one reaches the size limit.
#include "Quillwork.h"

#include <chrono>
#include <csignal>
#include <stdio.h>
#include <stdlib.h>
#include <thread>
#include <vector>

static volatile std::sig_atomic_t g_bStop = 0;

// The stop request of SIGTERM or SIGINT: the main loop ends at its next tick.
extern "C" void OnStopSignal(int)
{
    g_bStop = 1;
}

// Fills the status block of one tick: the tick's number in its first four bytes, then a
// pattern, as a device's status record might look.
static void FillStatus(std::vector<unsigned char>& vecStatus, int nTick)
{
    for (size_t i = 0; i < vecStatus.size(); ++i)
        vecStatus[i] = (unsigned char)(i < 4 ? nTick >> (8 * i) : i * 7 + nTick);
}

int main(int argc, char** argv)
{
    int nSeconds = argc > 1 ? atoi(argv[1]) : 0;
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    ILogObject* pLog = CreateLogObject(0);
    if (pLog == NULL)
        return 1;
    if (!pLog->Open("Service"))
        fprintf(stderr, "service: no log file, running without one\n");
    pLog->WriteLog("service started, %s", nSeconds > 0 ? "for a while" : "until stopped");

    std::vector<unsigned char> vecStatus(16384);
    int nTick = 0;
    for (; !g_bStop && (nSeconds == 0 || nTick < nSeconds * 10); ++nTick) {
        FillStatus(vecStatus, nTick);
        pLog->WriteLog("tick %d", nTick);
        pLog->WriteHex(&vecStatus[0], (unsigned int)vecStatus.size(), 0, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    pLog->WriteLog("service stopped after %d ticks", nTick);
    pLog->Release();
    return 0;
}
