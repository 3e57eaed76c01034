// The HTTP server: one thread, asynchronous, every read and write under a deadline, the open
// connections capped; each request's head through the gate, then (if it passed) its body read and
// the request to the routes, or to the event stream.
#pragma once

#include <functional>
#include <string>

#include "web/gate.h"
#include "web/session.h"

// Bounds of a request; larger gets 431 or 413, and nothing past the limit is read.
const size_t HEADER_LIMIT = (size_t)16 * 1024;
const size_t BODY_LIMIT = (size_t)1024 * 1024;
// Deadlines for the whole, not renewed by what arrives: a request's head must be in within
// HEADER_SECONDS of the connection's start or of the answer before it (the wait for it included),
// its body within BODY_SECONDS of the head, and an answer must be taken within ANSWER_SECONDS
// (each event of a stream too). Past one, the connection is closed.
const int HEADER_SECONDS = 10;
const int BODY_SECONDS = 20;
const int ANSWER_SECONDS = 30;
// Connections open at once, event streams included. A new one at the cap closes the connection
// that has waited longest for a request or the rest of one (never a stream or one being answered);
// when there is none, the new one is closed.
const size_t MAX_CONNECTIONS = 128;
// An accept that failed for want of descriptors or memory closes the connection that has waited
// longest, as at the cap, and tries again; when none waits, the next try waits this long.
const int ACCEPT_PAUSE_MS = 100;

// Listens on address:port (0: an ephemeral port) and calls ready with the port taken, then serves
// until stop() says so (asked a few times a second). once: the launcher file's one-time token, or
// empty. False with *error when it can't listen.
bool runServer(Session& s, const std::string& address, int port, const std::string& token, const std::string& once,
               const std::function<void(int port)>& ready, const std::function<bool()>& stop, std::string* error);
