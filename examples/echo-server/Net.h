// The few socket calls the echo example needs, the same on Windows (Winsock) and Linux.
#ifndef QW_EXAMPLE_NET_H
#define QW_EXAMPLE_NET_H

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef SOCKET NetSocket;
typedef int NetLength;
static const NetSocket kNoSocket = INVALID_SOCKET;
inline void NetClose(NetSocket s) { closesocket(s); }
inline bool NetStart() { WSADATA wsa; return WSAStartup(MAKEWORD(2, 2), &wsa) == 0; }
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
typedef int NetSocket;
typedef ssize_t NetLength;
static const NetSocket kNoSocket = -1;
inline void NetClose(NetSocket s) { close(s); }
inline bool NetStart() { return true; }
#endif

#include <string.h>

// An IPv4 address of 127.0.0.1 and the given port (0: any free port).
inline sockaddr_in NetLoopback(unsigned short nPort)
{
    sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(nPort);
    return addr;
}

// Sends all nSize bytes; false when the connection failed first.
inline bool NetSendAll(NetSocket s, const char* pData, int nSize)
{
    while (nSize > 0) {
        NetLength nSent = send(s, pData, nSize, 0);
        if (nSent <= 0)
            return false;
        pData += nSent;
        nSize -= (int)nSent;
    }
    return true;
}

#endif
