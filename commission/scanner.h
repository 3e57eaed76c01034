// The batch program's exchange with the controllers: one socket a local address, one wait over
// all of them, the answers merged by MAC, the settings and their verification.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "protocol/exchange.h"
#include "protocol/sighting.h"

// Room for a thousand answers arriving at once.
const int SCAN_RECEIVE_BUFFER = 4 << 20;

struct Scanner {
    std::vector<std::unique_ptr<Exchange>> exchanges;   // one a local address
    std::vector<LocalInterface> locals;                 // their addresses
    std::vector<Sighting> found;                        // by MAC, in order of first answer
    long datagrams = 0;                                 // answers taken
    long ignored = 0;                                   // datagrams that are no response
    long tooLong = 0;                                   // datagrams longer than a response
};

// Opens one socket for each local address. False after printing the failure to err; whatever
// was opened is closed again.
bool openScanner(Scanner& s, const std::vector<LocalInterface>& locals, FILE* err);
void closeScanner(Scanner& s);

// The request from every local address. False after printing the failure to err.
bool sendRequests(Scanner& s, FILE* err);

enum ListenEnd {
    LISTEN_QUIET,      // nothing arrived for the quiet time
    LISTEN_DEADLINE,   // the time was up
    LISTEN_DONE,       // done() said so
    LISTEN_FAILED,     // the wait or a receive failed (printed to err)
};

// Takes answers until quiet seconds pass without one (quiet < 0: no such rule), until seconds
// have passed in all, or until done() returns true after an answer.
ListenEnd listen(Scanner& s, double quiet, double seconds, const std::function<bool()>& done, FILE* err);

// The sighting of this MAC, or NULL.
const Sighting* findSighting(const Scanner& s, const unsigned char* mac);

// The setting to the group from the socket whose address found the controller.
bool sendSetting(Scanner& s, const Sighting& target, const unsigned char* setting, FILE* err);
