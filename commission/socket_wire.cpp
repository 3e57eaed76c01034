#include "commission/socket_wire.h"

#include <chrono>
#include <cmath>
#include <cstring>

Failure openSockets(Sockets& s, const std::vector<LocalInterface>& locals)
{
    for (const LocalInterface& local : locals) {
        s.exchanges.push_back(std::unique_ptr<Exchange>(new Exchange));
        Exchange& x = *s.exchanges.back();
        initExchange(x);
        ExchangeFailure failure = openExchange(x, local.address, MULTICAST_TTL);
        if (failure == EXCHANGE_OK) {
            failure = sendFromBoundInterface(x);
        }
        if (failure != EXCHANGE_OK) {
            Failure f = failureOf(callOf(failure), local.address, WSAGetLastError());
            closeSockets(s);
            return f;
        }
        s.smallBuffer.push_back(setReceiveBuffer(x.sock, SCAN_RECEIVE_BUFFER) ? 0 : 1);
    }
    return noFailure();
}

void closeSockets(Sockets& s)
{
    for (const auto& x : s.exchanges) {
        if (x->sock != INVALID_SOCKET) {
            closeExchange(*x);
        }
    }
    s.exchanges.clear();
    s.smallBuffer.clear();
}

static timeval toTimeval(double seconds)
{
    timeval t;
    if (seconds < 0) {
        seconds = 0;
    }
    t.tv_sec = (long)std::floor(seconds);
    t.tv_usec = (long)((seconds - std::floor(seconds)) * 1e6);
    return t;
}

Wire socketWire(Sockets& s)
{
    Wire w;
    w.send = [&s](size_t link, const unsigned char* message, int length) {
        if (sendToGroup(*s.exchanges[link], message, length) == EXCHANGE_OK) {
            return 0;
        }
        int error = WSAGetLastError();
        return isInterruption(error) ? SEND_INTERRUPTED : error;
    };
    w.wait = [&s](double seconds, std::vector<char>* ready, int* error) {
        std::vector<Exchange*> all;
        for (auto& x : s.exchanges) {
            all.push_back(x.get());
        }
        std::unique_ptr<bool[]> flags(new bool[all.size()]);
        int got = waitForAny(all.data(), (int)all.size(), toTimeval(seconds), flags.get());
        if (got < 0) {
            *error = WSAGetLastError();
            return isInterruption(*error) ? WAIT_INTERRUPTED : -1;
        }
        ready->assign(all.size(), 0);
        for (size_t i = 0; i < all.size(); ++i) {
            (*ready)[i] = flags[i] ? 1 : 0;
        }
        return got;
    };
    w.receive = [&s](size_t link, unsigned char* buffer, int* bytes, unsigned char* sender, int* error) {
        Exchange& x = *s.exchanges[link];
        const timeval poll = {0, 0};
        NextResult next = receiveNext(x, poll, buffer, RECV_LEN, bytes);
        if (next == NEXT_TIMEOUT) {
            return RECEIVED_NONE;
        }
        if (next == NEXT_FAILED) {
            if (lastReceiveTooLong()) {
                return RECEIVED_TOO_LONG;
            }
            *error = WSAGetLastError();
            return isInterruption(*error) ? RECEIVED_INTERRUPTED : RECEIVED_FAILED;
        }
        memcpy(sender, &x.source_sin.sin_addr, IPV4_LEN);
        return RECEIVED;
    };
    w.now = []() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); };
    return w;
}
