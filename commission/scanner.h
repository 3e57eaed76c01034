// The batch program's scan: the request from every local address, one wait over all of them, the
// answers merged by MAC, and the settings. It prints nothing: failures come back as values.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "commission/failure.h"
#include "commission/wire.h"
#include "platform/platform.h"
#include "protocol/sighting.h"

// One address a MAC answered from, and what the latest answer from there reported.
struct SenderReport {
    std::array<unsigned char, IPV4_LEN> address;
    Response response;
    bool afterScan;   // first heard once the discovery scan was over (while verifying)
};

struct Scanner {
    Wire wire;
    std::vector<LocalInterface> locals;   // link i's local address
    std::vector<Sighting> found;          // one a MAC, in order of first answer
    std::map<uint64_t, size_t> byMac;     // MAC -> index in found
    long datagrams = 0;                   // answers taken
    long ignored = 0;                     // datagrams that are no response
    long tooLong = 0;                     // datagrams longer than a response
    // found[i]'s distinct senders, in the order first heard, the verification included
    std::vector<std::vector<SenderReport>> senders;
    bool discovering = true;
    bool stopped = false;   // a wait, send or receive ended because the wire said stop
};

// A scanner over wire, link i working from locals[i]; nothing found yet.
void startScanner(Scanner& s, const Wire& wire, const std::vector<LocalInterface>& locals);

// The request from every local address. A send cut short by a signal is made again, unless the
// wire says stop: then s.stopped is set and the rest are not sent.
Failure sendRequests(Scanner& s);

// Less time than this left counts as none: waits that short only spin.
const double TIME_STEP_S = 1e-6;

enum ListenEnd {
    LISTEN_QUIET,      // nothing arrived for the quiet time
    LISTEN_DEADLINE,   // the time was up
    LISTEN_DONE,       // done() said so
    LISTEN_FAILED,     // the wait or a receive failed (*failure says how)
    LISTEN_STOPPED,    // the wire said stop (s.stopped is set)
};

// Takes answers until quiet seconds pass without one (quiet < 0: no such rule), until seconds
// have passed in all (checked between datagrams too, so a flood can't hold it), or until done()
// returns true after an answer.
ListenEnd listenFor(Scanner& s, double quiet, double seconds, const std::function<bool()>& done, Failure* failure);

// Six bytes of a MAC as one number, for maps keyed by MAC.
uint64_t macKey(const unsigned char* mac);

// The sighting of this MAC, or NULL.
const Sighting* findSighting(const Scanner& s, const unsigned char* mac);

// The setting to the group from the link whose address heard the controller; a signal as with
// sendRequests (s.stopped set: not sent).
Failure sendSetting(Scanner& s, const Sighting& target, const unsigned char* setting);
