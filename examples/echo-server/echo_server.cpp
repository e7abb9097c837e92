// A threaded TCP echo server on 127.0.0.1 that logs every receive and every send as a
// dump, one thread per connection, all into one log object. Quillwork.ini beside the
// program (copied there by CMake) turns on THREAD=1 and STAMP=MS, so each dump names the
// thread that wrote it and the millisecond it was taken.
//
//   echo_server [clients]    serve that many connections, then stop (0 or none: forever)
//
// Its first line on standard output is "port N": the port it listens on, chosen by the
// system. The log: Log/YYYY-MM-DD/HHMMSS_EchoServer.log beside the program.
#include "Net.h"
#include "Quillwork.h"

#include <stdio.h>
#include <stdlib.h>
#include <thread>
#include <vector>

// Echoes what comes in on one connection until the peer closes it, dumping both ways.
static void ServeClient(ILogObject* pLog, NetSocket hClient, int nClient)
{
    unsigned char abBuffer[4096];
    unsigned long nTotal = 0;
    for (;;) {
        NetLength nRead = recv(hClient, (char*)abBuffer, sizeof(abBuffer), 0);
        if (nRead <= 0)
            break;
        pLog->WriteHex(abBuffer, (unsigned int)nRead, 0, 1);  // "<--": what came in
        if (!NetSendAll(hClient, (const char*)abBuffer, (int)nRead))
            break;
        pLog->WriteHex(abBuffer, (unsigned int)nRead, 1, 1);  // "-->": what went out
        nTotal += (unsigned long)nRead;
    }
    pLog->WriteLog("client %d closed after %lu bytes", nClient, nTotal);
    NetClose(hClient);
}

// Opens a listening socket on 127.0.0.1 at a free port; kNoSocket when that fails.
static NetSocket Listen(unsigned short* pnPort)
{
    NetSocket hListen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (hListen == kNoSocket)
        return kNoSocket;
    sockaddr_in addr = NetLoopback(0);
    socklen_t nLength = sizeof(addr);
    if (bind(hListen, (sockaddr*)&addr, sizeof(addr)) != 0 || listen(hListen, 16) != 0 ||
        getsockname(hListen, (sockaddr*)&addr, &nLength) != 0) {
        NetClose(hListen);
        return kNoSocket;
    }
    *pnPort = ntohs(addr.sin_port);
    return hListen;
}

int main(int argc, char** argv)
{
    int nClients = argc > 1 ? atoi(argv[1]) : 0;
    ILogObject* pLog = CreateLogObject(0);
    if (pLog == NULL || !NetStart())
        return 1;
    if (!pLog->Open("EchoServer"))
        fprintf(stderr, "echo_server: no log file, serving without one\n");  // the calls still work
    unsigned short nPort = 0;
    NetSocket hListen = Listen(&nPort);
    if (hListen == kNoSocket) {
        pLog->WriteLog("cannot listen on 127.0.0.1");
        pLog->Release();
        return 1;
    }
    pLog->WriteLog("listening on 127.0.0.1:%u", (unsigned)nPort);
    printf("port %u\n", (unsigned)nPort);
    fflush(stdout);

    std::vector<std::thread> vecThreads;
    for (int nClient = 1; nClients == 0 || nClient <= nClients; ++nClient) {
        NetSocket hClient = accept(hListen, NULL, NULL);
        if (hClient == kNoSocket)
            break;
        pLog->WriteLog("client %d connected", nClient);
        vecThreads.push_back(std::thread(ServeClient, pLog, hClient, nClient));
    }
    for (size_t i = 0; i < vecThreads.size(); ++i)
        vecThreads[i].join();  // every thread is done with the object before Release
    NetClose(hListen);
    pLog->WriteLog("served %d clients", (int)vecThreads.size());
    pLog->Release();
    return 0;
}
