// How the discovery scan listens when datagrams get lost: the request is asked again, and the end
// depends on what is wanted. A plain scan asks EARLY_REQUESTS times REQUEST_AGAIN_S apart and
// ends quiet seconds after the last answer. With planned MACs it asks again while one of them is
// missing; it ends SETTLE_S after the last of them answered (so a clone's answer is heard too), or
// quiet seconds after the last new planned MAC answered.
#pragma once

#include <array>
#include <vector>

#include "commission/scanner.h"

const int EARLY_REQUESTS = 4;
const double REQUEST_AGAIN_S = 0.25;
const double SETTLE_S = 0.3;

typedef std::vector<std::array<unsigned char, MAC_LEN>> Macs;

// Sends the requests and takes the answers; never later than maxTime after the start.
ListenEnd discover(Scanner& s, double quiet, double maxTime, const Macs& wanted, Failure* failure);
