// The HTTP server: one thread, asynchronous, every read and write under a time limit; each
// request through the gate, then to the routes, or to the event stream.
#pragma once

#include <functional>
#include <string>

#include "web/gate.h"
#include "web/session.h"

// Bounds of a request; larger gets 431 or 413, and nothing past the limit is read.
const size_t HEADER_LIMIT = (size_t)16 * 1024;
const size_t BODY_LIMIT = (size_t)1024 * 1024;
// A connection with no request for this long, or a request or answer taking longer, is closed.
const int IDLE_SECONDS = 30;

// Listens on address:port (0: an ephemeral port) and calls ready with the port taken, then
// serves until stop() says so (asked a few times a second). False with *error when it can't listen.
bool runServer(Session& s, const std::string& address, int port, const std::string& token,
               const std::function<void(int port)>& ready, const std::function<bool()>& stop, std::string* error);
