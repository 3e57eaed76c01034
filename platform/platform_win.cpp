#include "platform/platform.h"

#include <cstdlib>

hostent* localHostEntry(const char* hostName)
{
    return gethostbyname(hostName);
}

int receiveDatagram(SOCKET s, unsigned char* buf, int len, sockaddr* from, int* fromLen)
{
    // Winsock 1.1 has no per-call non-blocking flag: the socket is non-blocking for this receive.
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        return SOCKET_ERROR;
    }
    int got = recvfrom(s, (char*)buf, len, 0, from, fromLen);
    int error = got == SOCKET_ERROR ? WSAGetLastError() : 0;
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    if (got == SOCKET_ERROR) {
        WSASetLastError(error);
        return error == WSAEWOULDBLOCK ? RECEIVE_WOULD_BLOCK : SOCKET_ERROR;
    }
    return got;
}

bool fitsWaitSet(SOCKET)
{
    return true;
}

void pauseConsole(FILE* out)
{
    fflush(out);
    system("PAUSE");
}
