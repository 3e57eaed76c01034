// The exchange with the controllers: one datagram socket bound to a local address on SCAN_PORT,
// the sends to the group and the wait for the next datagram. Prints nothing: each call says what
// happened, and the caller tells the user.
#pragma once

#include "platform/platform.h"

enum ExchangeFailure {
    EXCHANGE_OK,
    FAIL_SOCKET,    // no socket, or one select can't wait on
    FAIL_BIND,      // the local address and port can't be taken
    FAIL_TTL,       // the multicast time-to-live can't be set
    FAIL_SEND,      // a message can't be sent
    FAIL_RECEIVE,   // the wait or the receive failed, or a datagram was too long
};

enum NextResult {
    NEXT_DATAGRAM,
    NEXT_TIMEOUT,
    NEXT_FAILED,
};

struct Exchange {
    SOCKET sock;
    sockaddr_in bound_sin;    // the local address and port the socket is bound to
    sockaddr_in source_sin;   // the sender of the latest datagram
    sockaddr_in dest_sin;     // the group
    fd_set socks;             // the wait's set: the socket alone
    int iRecvLen;             // length of the sender's address
};

// A closed exchange.
void initExchange(Exchange& x);

// Socket, bind to localAddr and SCAN_PORT, the multicast time-to-live, the group as destination.
// On a failure the socket, if one was made, stays open for the caller to close.
ExchangeFailure openExchange(Exchange& x, const unsigned char* localAddr, int ttl);

// One message to the group, not routed.
ExchangeFailure sendToGroup(Exchange& x, const unsigned char* message, int length);

// Waits up to timeout for the next datagram and receives it into buffer (length bytes; a longer
// datagram is a failure). Every call waits the full time-out; a negative one only polls.
NextResult receiveNext(Exchange& x, const timeval& timeout, unsigned char* buffer, int length, int* bytes);

// Sends to the group go out of the interface of the bound address, not where the routes say.
ExchangeFailure sendFromBoundInterface(Exchange& x);

// Waits up to timeout until at least one of the count exchanges has a datagram; ready[i] says
// which. Returns how many are ready, 0 on time-out, -1 when the wait failed.
int waitForAny(Exchange* const* exchanges, int count, const timeval& timeout, bool* ready);

// Close the socket.
void closeExchange(Exchange& x);
// Normal close-down: shut the sending side, then close.
void shutdownExchange(Exchange& x);
