// A failure of the network or the system, as a value: which call failed, on which local address,
// and the error number taken at the moment it failed.
#pragma once

#include "protocol/exchange.h"
#include "protocol/messages.h"

enum FailedCall {
    FAILED_NONE,
    FAILED_SOCKET,       // no socket, or one select can't wait on
    FAILED_BIND,         // the local address and port can't be taken
    FAILED_TTL,          // the multicast time-to-live can't be set
    FAILED_SEND,         // a message can't be sent
    FAILED_RECEIVE,      // the wait or a receive failed
    FAILED_NO_SOCKET,    // no socket for the local address that heard the controller
    FAILED_INTERFACES,   // the local addresses can't be listed
};

struct Failure {
    FailedCall call;
    bool hasLocal;
    unsigned char local[IPV4_LEN];
    int error;   // the system's error number; 0 where there is none
};

// No failure.
Failure noFailure();
// This call failed on local (NULL: no one address) with this error number, as the caller took it
// at the moment of the failure.
Failure failureOf(FailedCall call, const unsigned char* local, int error);
// The call an exchange failure stands for.
FailedCall callOf(ExchangeFailure failure);
