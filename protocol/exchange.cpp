#include "protocol/exchange.h"

#include <cstring>

#include "protocol/messages.h"

void initExchange(Exchange& x)
{
    memset(&x, 0, sizeof x);
    x.sock = INVALID_SOCKET;
}

ExchangeFailure openExchange(Exchange& x, const unsigned char* localAddr, int ttl)
{
    x.sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (x.sock == INVALID_SOCKET) {
        return FAIL_SOCKET;
    }
    if (!fitsWaitSet(x.sock)) {
        return FAIL_SOCKET;   // a socket select can't wait on is of no use
    }

    memset(&x.bound_sin, 0, sizeof x.bound_sin);
    x.bound_sin.sin_family = AF_INET;
    x.bound_sin.sin_port = htons(SCAN_PORT);
    memcpy(&x.bound_sin.sin_addr, localAddr, IPV4_LEN);
    if (bind(x.sock, (const sockaddr*)&x.bound_sin, sizeof x.bound_sin) == SOCKET_ERROR) {
        return FAIL_BIND;
    }
    if (setsockopt(x.sock, IPPROTO_IP, IP_MULTICAST_TTL, (const char*)&ttl, sizeof ttl) == SOCKET_ERROR) {
        return FAIL_TTL;
    }

    memset(&x.dest_sin, 0, sizeof x.dest_sin);
    x.dest_sin.sin_family = AF_INET;
    x.dest_sin.sin_port = htons(SCAN_PORT);
    x.dest_sin.sin_addr.s_addr = inet_addr(SCAN_GROUP);
    x.iRecvLen = SOCKADDR_IN_LEN;
    FD_ZERO(&x.socks);
    FD_SET(x.sock, &x.socks);
    return EXCHANGE_OK;
}

ExchangeFailure sendToGroup(Exchange& x, const unsigned char* message, int length)
{
    if (sendto(x.sock, (const char*)message, length, MSG_DONTROUTE, (const sockaddr*)&x.dest_sin, sizeof x.dest_sin) ==
        SOCKET_ERROR) {
        return FAIL_SEND;
    }
    return EXCHANGE_OK;
}

NextResult receiveNext(Exchange& x, const timeval& timeout, unsigned char* buffer, int length, int* bytes)
{
    for (;;) {
        // select may change both the set and the time left: every wait starts afresh.
        fd_set ready = x.socks;
        timeval wait = timeout;
        if (wait.tv_sec < 0) {
            wait.tv_sec = 0;   // a negative time-out only polls
        }
        int result = select((int)x.sock + 1, &ready, NULL, NULL, &wait);
        if (result == 0) {
            return NEXT_TIMEOUT;
        }
        if (result == SOCKET_ERROR) {
            return NEXT_FAILED;
        }
        // A short datagram leaves nothing of an earlier one: the fields it lacks read as zero.
        memset(buffer, 0, (size_t)length);
        x.iRecvLen = SOCKADDR_IN_LEN;
        int got = receiveDatagram(x.sock, buffer, length, (sockaddr*)&x.source_sin, &x.iRecvLen);
        if (got == RECEIVE_WOULD_BLOCK) {
            continue;   // dropped after the wait (a bad checksum): wait again
        }
        if (got == SOCKET_ERROR) {
            return NEXT_FAILED;
        }
        *bytes = got;
        return NEXT_DATAGRAM;
    }
}

ExchangeFailure sendFromBoundInterface(Exchange& x)
{
    in_addr local = x.bound_sin.sin_addr;
    if (setsockopt(x.sock, IPPROTO_IP, IP_MULTICAST_IF, (const char*)&local, sizeof local) == SOCKET_ERROR) {
        return FAIL_SOCKET;
    }
    return EXCHANGE_OK;
}

int waitForAny(Exchange* const* exchanges, int count, const timeval& timeout, bool* ready)
{
    fd_set set;
    FD_ZERO(&set);
    SOCKET highest = 0;
    for (int i = 0; i < count; ++i) {
        FD_SET(exchanges[i]->sock, &set);
        if (exchanges[i]->sock > highest) {
            highest = exchanges[i]->sock;
        }
    }
    timeval wait = timeout;
    if (wait.tv_sec < 0) {
        wait.tv_sec = 0;
        wait.tv_usec = 0;
    }
    int result = select((int)highest + 1, &set, NULL, NULL, &wait);
    if (result == SOCKET_ERROR) {
        return -1;
    }
    for (int i = 0; i < count; ++i) {
        ready[i] = FD_ISSET(exchanges[i]->sock, &set) != 0;
    }
    return result;
}

void closeExchange(Exchange& x)
{
    closesocket(x.sock);
    x.sock = INVALID_SOCKET;
}

void shutdownExchange(Exchange& x)
{
    shutdown(x.sock, SD_SEND);
    closeExchange(x);
}
