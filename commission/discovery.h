// How the discovery scan listens when datagrams get lost: the request is asked again, and the end
// depends on what is wanted. A plain scan asks EARLY_REQUESTS times REQUEST_AGAIN_S apart and
// ends quiet seconds after the last answer. With planned MACs it asks again while one of them is
// missing; it ends SETTLE_S after the last of them answered (so a clone's answer is heard too), or
// quiet seconds after the last new planned MAC answered.
#pragma once

#include <array>
#include <vector>

#include "commission/events.h"
#include "commission/scanner.h"

const int EARLY_REQUESTS = 4;
const double REQUEST_AGAIN_S = 0.25;
const double SETTLE_S = 0.3;

typedef std::vector<std::array<unsigned char, MAC_LEN>> Macs;

struct ScanOptions {
    double quiet = 2;      // the scan ends this long after the last answer
    double maxTime = 60;   // but never later than this
    Macs wanted;           // set, apply: the planned MACs
    // > 0: while waiting, a progress event this often (EVENT_SCAN_WAIT, or EVENT_PLANNED_WAIT
    // with planned MACs; and EVENT_VERIFY_WAIT while verifying)
    double progressEvery = 0;
};

// Sends the requests and takes the answers; never later than maxTime after the start.
ListenEnd discover(Scanner& s, const ScanOptions& options, const EventSink& sink, Failure* failure);
