// The client that drives echo_server: several threads, each on its own connection, send
// numbered messages and check that each comes back unchanged. It logs every send and
// receive as a dump too, into Log/YYYY-MM-DD/HHMMSS_EchoClient.log beside the program.
//
//   echo_client PORT [threads] [messages]     (defaults: 4 threads, 50 messages each)
//
// Exit status 0 when every message came back whole; it prints "echoed N messages".
#include "Net.h"
#include "Quillwork.h"

#include <atomic>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <thread>
#include <vector>

// Receives exactly nSize bytes; false when the connection ends first.
static bool ReceiveAll(NetSocket hServer, char* pData, int nSize)
{
    while (nSize > 0) {
        NetLength nRead = recv(hServer, pData, nSize, 0);
        if (nRead <= 0)
            return false;
        pData += nRead;
        nSize -= (int)nRead;
    }
    return true;
}

// One thread's conversation: nMessages round trips; adds the good ones to *pnEchoed.
static void Converse(ILogObject* pLog, unsigned short nPort, int nThread, int nMessages,
                     std::atomic<int>* pnEchoed)
{
    NetSocket hServer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = NetLoopback(nPort);
    if (hServer == kNoSocket || connect(hServer, (sockaddr*)&addr, sizeof(addr)) != 0) {
        pLog->WriteLog("thread %d: cannot connect to port %u", nThread, (unsigned)nPort);
        if (hServer != kNoSocket)
            NetClose(hServer);
        return;
    }
    for (int nMessage = 0; nMessage < nMessages; ++nMessage) {
        char acText[64];
        int nLength = snprintf(acText, sizeof(acText), "thread %d message %d%.*s\n", nThread, nMessage,
                               nMessage % 17, "-----------------");  // lengths vary
        std::string strReply(nLength, '\0');
        if (!NetSendAll(hServer, acText, nLength))
            break;
        pLog->WriteHex((const unsigned char*)acText, (unsigned int)nLength, 1, 1);
        if (!ReceiveAll(hServer, &strReply[0], nLength))
            break;
        pLog->WriteHex((const unsigned char*)strReply.data(), (unsigned int)nLength, 0, 1);
        if (strReply.compare(0, std::string::npos, acText, nLength) != 0) {
            pLog->WriteLog("thread %d: message %d came back changed", nThread, nMessage);
            break;
        }
        ++*pnEchoed;
    }
    NetClose(hServer);
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: echo_client PORT [threads] [messages]\n");
        return 2;
    }
    unsigned short nPort = (unsigned short)atoi(argv[1]);
    int nThreads = argc > 2 ? atoi(argv[2]) : 4;
    int nMessages = argc > 3 ? atoi(argv[3]) : 50;
    ILogObject* pLog = CreateLogObject(0);
    if (pLog == NULL || !NetStart())
        return 1;
    pLog->Open("EchoClient");
    pLog->WriteLog("%d threads, %d messages each, to port %u", nThreads, nMessages, (unsigned)nPort);

    std::atomic<int> nEchoed(0);
    std::vector<std::thread> vecThreads;
    for (int nThread = 0; nThread < nThreads; ++nThread)
        vecThreads.push_back(std::thread(Converse, pLog, nPort, nThread, nMessages, &nEchoed));
    for (size_t i = 0; i < vecThreads.size(); ++i)
        vecThreads[i].join();
    pLog->WriteLog("echoed %d of %d messages", nEchoed.load(), nThreads * nMessages);
    pLog->Release();
    printf("echoed %d messages\n", nEchoed.load());
    return nEchoed.load() == nThreads * nMessages ? 0 : 1;
}
