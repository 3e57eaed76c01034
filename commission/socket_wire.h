// The real wire: one datagram socket a local address, bound to the scan port, sending to the group
// out of its own interface, with room for many answers arriving at once.
#pragma once

#include <memory>
#include <vector>

#include "commission/failure.h"
#include "commission/wire.h"
#include "platform/platform.h"
#include "protocol/exchange.h"

// Room for a thousand answers arriving at once.
const int SCAN_RECEIVE_BUFFER = 4 << 20;

struct Sockets {
    std::vector<std::unique_ptr<Exchange>> exchanges;   // one a local address, in their order
    std::vector<char> smallBuffer;                      // the receive buffer could not be enlarged
};

// Opens one socket for each local address. On a failure, whatever was opened is closed again.
Failure openSockets(Sockets& s, const std::vector<LocalInterface>& locals);
void closeSockets(Sockets& s);

// The wire over these sockets; it uses them as long as they are open.
Wire socketWire(Sockets& s);
