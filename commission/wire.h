// What the scanner needs of the network: one link a local address, sends to the group, the wait
// for any link to have a datagram, the receives, and a clock. The sockets give the real wire
// (commission/socket_wire.h); tests give one of their own.
#pragma once

#include <functional>
#include <vector>

#include "protocol/messages.h"

enum Received {
    RECEIVED,               // a datagram
    RECEIVED_NONE,          // nothing waiting on the link
    RECEIVED_TOO_LONG,      // a datagram longer than RECV_LEN, dropped
    RECEIVED_FAILED,        // the receive failed
    RECEIVED_INTERRUPTED,   // a signal cut the receive short; nothing taken
};

// What wait and send return when a signal cut them short: an interruption, never a failure.
const int WAIT_INTERRUPTED = -2;
const int SEND_INTERRUPTED = -2;

struct Wire {
    // One message to the group from link: 0, SEND_INTERRUPTED when a signal stopped it before it
    // went out, or the error number of the failed send.
    std::function<int(size_t link, const unsigned char* message, int length)> send;
    // Waits up to seconds until a link has a datagram; (*ready)[i] says which. The number of
    // ready links, 0 when the time ran out, -1 with *error set when the wait failed, WAIT_INTERRUPTED
    // when a signal cut it short.
    std::function<int(double seconds, std::vector<char>* ready, int* error)> wait;
    // The next datagram waiting on link, into buffer (RECV_LEN bytes, zero-filled first), its length
    // into *bytes and the sender's address into sender; *error set on RECEIVED_FAILED.
    // RECEIVED_INTERRUPTED when a signal cut it short.
    std::function<Received(size_t link, unsigned char* buffer, int* bytes, unsigned char* sender, int* error)> receive;
    // Seconds on a steady clock.
    std::function<double()> now;
    // True when the run is to stop (a signal); asked between waits. Optional.
    std::function<bool()> stop;
};
