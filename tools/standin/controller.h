// The stand-in's model of one simulated controller: what it reports, how it answers, and the one
// table of its --controller keys (their parsing and their help text).
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/messages.h"

const unsigned long MAX_SIZE = 1400;           // longest datagram a controller sends
const unsigned long MAX_CONTROLLERS = 65535;   // default MACs number them in 16 bits
// A buffer that holds any controller's datagram, the whole response included.
const size_t DATAGRAM_BUFFER_LEN = MAX_SIZE > static_cast<unsigned long>(RESPONSE_LEN) ? MAX_SIZE : RESPONSE_LEN;

// A moment in a controller's life: its value-th request heard (from 1), or value ms after the
// stand-in started.
struct Moment {
    unsigned long value;
    bool inMs;
};

// What a controller reports from a moment on (change=, new*=): each field given replaces its own.
struct Change {
    bool set;   // change= given
    Moment at;
    bool applied;
    bool ip, gateway, mask, name;   // which fields change
    unsigned char newIp[IPV4_LEN];
    unsigned char newGateway[IPV4_LEN];
    unsigned char newMask[IPV4_LEN];
    std::string newName;
};

struct Controller {
    in_addr from;      // INADDR_ANY: the address of the link it answers on
    unsigned behind;   // index of the only interface whose requests it answers, 0 for any
    unsigned char mac[MAC_LEN];
    unsigned char ip[IPV4_LEN];
    unsigned char gateway[IPV4_LEN];
    unsigned char mask[IPV4_LEN];
    unsigned char nodeId[NODE_ID_LEN];
    unsigned char nodeType[NODE_TYPE_LEN];
    unsigned char index[INDEX_LEN];
    unsigned char type[TYPE_LEN];
    unsigned char version[VERSION_NUMBER_LEN];
    std::string name;
    unsigned long size;
    unsigned long delayMs;
    unsigned long repeat;
    unsigned long everyMs;   // between repeated answers
    bool ignoreSettings;
    unsigned long setDelayMs;   // a setting takes effect this long after it arrives
    double loss;                // chance of each datagram in or out being lost
    uint64_t lossState;         // its own generator of losses, see seedLosses
    // Off, hearing nothing, before startAt (start=) and from silentFrom until silentUntil (silent=;
    // until not included, for ever when !silentEnds).
    bool lateStart;
    Moment startAt;
    bool silence;
    Moment silentFrom;
    bool silentEnds;
    Moment silentUntil;
    Change change;
    unsigned long requests;   // requests heard on its link so far
};

// The k-th controller (k from 0) with every key at its default.
Controller defaultController(unsigned long k);

// Applies comma-separated key=value pairs to c, the k-th controller. False, with the reason in
// why, on a pair that is not key=value, an unknown key or a bad value.
bool applyKeys(Controller* c, const std::string& keys, unsigned long k, std::string* why);

// The list of keys with their help and defaults, as --help prints it.
void printKeys(FILE* out);

// Lays c's datagram out in buffer (DATAGRAM_BUFFER_LEN bytes): the response, zero bytes after it
// when c.size is longer. The first c.size bytes are what c sends.
void encodeResponse(const Controller& c, unsigned char* buffer);

// Counts one more request heard at nowMs (since the start) and makes a change that is due
// from then on; true when c is off then (start=, silent=) and hears nothing.
bool hearRequest(Controller* c, unsigned long nowMs);
// True when c is off at nowMs, as of the requests it heard so far.
bool isOff(const Controller& c, unsigned long nowMs);

// Gives every controller its own generator of losses, drawn in order from one seeded by seed, so
// that a controller's losses depend only on the seed, its place and the datagrams it meets.
void seedLosses(std::vector<Controller>* controllers, uint64_t seed);

// One draw of c's generator: true, with chance c.loss, when this datagram is lost. Draws only when
// 0 < loss < 1.
bool loses(Controller* c);
