// How the discovery scan listens when datagrams get lost: the request is asked again, and the end
// depends on what is wanted. A plain scan asks EARLY_REQUESTS times REQUEST_AGAIN_S apart and
// ends quiet seconds after the last answer. With planned MACs it asks again while one of them is
// missing, or ends quiet seconds after the last new planned MAC answered. Once all of them have
// answered, it listens for clones for the settle time: a second device that answers with a
// planned MAC late, or whose first answers were lost. It asks again at the fractions
// SETTLE_ASK_AT of the settle time: the early requests give a clone answering nearly as late as
// the settle time several chances, the later ones a clone whose answers get lost.
#pragma once

#include <array>
#include <vector>

#include "commission/events.h"
#include "commission/scanner.h"

const int EARLY_REQUESTS = 4;
const double REQUEST_AGAIN_S = 0.25;
const double SETTLE_S = 1;
const double SETTLE_ASK_AT[] = {0, 1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 2};
const int SETTLE_REQUESTS = sizeof SETTLE_ASK_AT / sizeof SETTLE_ASK_AT[0];

typedef std::vector<std::array<unsigned char, MAC_LEN>> Macs;

struct ScanOptions {
    double quiet = 2;           // the scan ends this long after the last answer
    double maxTime = 60;        // but never later than this
    Macs wanted;                // set, apply: the planned MACs
    double settle = SETTLE_S;   // with them: how long to listen for clones once all answered
    // > 0: while waiting, a progress event this often (EVENT_SCAN_WAIT, or EVENT_PLANNED_WAIT
    // with planned MACs; and EVENT_VERIFY_WAIT while verifying)
    double progressEvery = 0;
};

// Sends the requests and takes the answers; never later than maxTime after the start.
ListenEnd discover(Scanner& s, const ScanOptions& options, const EventSink& sink, Failure* failure);
