#include "platform/platform.h"

#include <cstdlib>
#include <cstring>

hostent* localHostEntry(const char* hostName)
{
    return gethostbyname(hostName);
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

bool setReceiveBuffer(SOCKET s, int bytes)
{
    return setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&bytes, sizeof bytes) == 0;
}

bool lastReceiveTooLong()
{
    return WSAGetLastError() == WSAEMSGSIZE;
}

int listLocalInterfaces(LocalInterface* list, int capacity)
{
    char host[256];
    if (gethostname(host, sizeof host) == SOCKET_ERROR) {
        return -1;
    }
    hostent* entry = gethostbyname(host);
    if (entry == NULL) {
        return -1;
    }
    int count = 0;
    for (int i = 0; entry->h_addr_list[i] != NULL && count < capacity; ++i) {
        LocalInterface& one = list[count++];
        one.name[0] = '\0';
        memcpy(one.address, entry->h_addr_list[i], sizeof one.address);
        one.loopback = one.address[0] == 127;
    }
    return count;
}
