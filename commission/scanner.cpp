#include "commission/scanner.h"

#include <cstring>

#include "protocol/decode.h"
#include "protocol/messages.h"

void startScanner(Scanner& s, const Wire& wire, const std::vector<LocalInterface>& locals)
{
    s = Scanner();
    s.wire = wire;
    s.locals = locals;
}

Failure sendRequests(Scanner& s)
{
    unsigned char request[REQUEST_LEN];
    buildRequest(request);
    for (size_t i = 0; i < s.locals.size(); ++i) {
        int error = s.wire.send(i, request, REQUEST_LEN);
        if (error != 0) {
            return failureOf(FAILED_SEND, s.locals[i].address, error);
        }
    }
    return noFailure();
}

static uint64_t macKey(const unsigned char* mac)
{
    uint64_t key = 0;
    for (int i = 0; i < MAC_LEN; ++i) {
        key = key << 8 | mac[i];
    }
    return key;
}

// A response worth a row: our protocol, the response type, the fields up to the node name.
static bool isAnswer(const Response& r)
{
    return r.bytes >= RSP_NODE_NAME && memcmp(r.header.protocolId, PROTOCOL_ID, PROTOCOL_ID_LEN) == 0 &&
           isType(r.header.type, TYPE_RESPONSE);
}

// Adds sender to found[index]'s senders while discovering.
static void noteSender(Scanner& s, size_t index, const unsigned char* sender)
{
    if (!s.discovering) {
        return;
    }
    s.senders.resize(s.found.size());
    std::array<unsigned char, IPV4_LEN> from;
    memcpy(from.data(), sender, IPV4_LEN);
    for (const auto& known : s.senders[index]) {
        if (known == from) {
            return;
        }
    }
    s.senders[index].push_back(from);
}

static void record(Scanner& s, size_t link, const unsigned char* buffer, int bytes, const unsigned char* sender)
{
    Response r;
    decodeResponse(buffer, RECV_LEN, bytes, &r);
    if (!isAnswer(r)) {
        ++s.ignored;
        return;
    }
    ++s.datagrams;
    auto known = s.byMac.find(macKey(r.mac));
    if (known != s.byMac.end()) {
        Sighting& seen = s.found[known->second];
        seen.response = r;
        memcpy(seen.sender, sender, IPV4_LEN);
        ++seen.answers;
        noteSender(s, known->second, sender);
        return;
    }
    Sighting fresh;
    fresh.response = r;
    memcpy(fresh.sender, sender, IPV4_LEN);
    memcpy(fresh.local, s.locals[link].address, IPV4_LEN);
    fresh.answers = 1;
    s.byMac[macKey(r.mac)] = s.found.size();
    s.found.push_back(fresh);
    noteSender(s, s.found.size() - 1, sender);
}

// Every datagram waiting on link, until none is left or the deadline passes. False when a receive
// failed for another reason than length.
static bool drain(Scanner& s, size_t link, double deadline, Failure* failure)
{
    while (s.wire.now() < deadline) {
        unsigned char buffer[RECV_LEN];
        memset(buffer, 0, sizeof buffer);
        int bytes = 0;
        unsigned char sender[IPV4_LEN] = {0, 0, 0, 0};
        int error = 0;
        switch (s.wire.receive(link, buffer, &bytes, sender, &error)) {
        case RECEIVED_NONE:
            return true;
        case RECEIVED_TOO_LONG:
            ++s.tooLong;   // not a response of ours; the next one may be
            break;
        case RECEIVED_FAILED:
            *failure = failureOf(FAILED_RECEIVE, s.locals[link].address, error);
            return false;
        case RECEIVED:
            record(s, link, buffer, bytes, sender);
            break;
        }
    }
    return true;
}

static bool stopNow(const Scanner& s)
{
    return s.wire.stop && s.wire.stop();
}

ListenEnd listenFor(Scanner& s, double quiet, double seconds, const std::function<bool()>& done, Failure* failure)
{
    *failure = noFailure();
    double start = s.wire.now();
    double deadline = start + seconds;
    double lastAnswer = start;
    std::vector<char> ready;
    for (;;) {
        double now = s.wire.now();
        double left = deadline - now;
        bool byQuiet = false;
        if (quiet >= 0 && lastAnswer + quiet - now < left) {
            left = lastAnswer + quiet - now;
            byQuiet = true;
        }
        if (left <= TIME_STEP_S) {
            return byQuiet ? LISTEN_QUIET : LISTEN_DEADLINE;
        }
        int error = 0;
        int got = stopNow(s) ? WAIT_INTERRUPTED : s.wire.wait(left, &ready, &error);
        if (got == WAIT_INTERRUPTED && stopNow(s)) {
            s.stopped = true;
            return LISTEN_STOPPED;
        }
        if (got == WAIT_INTERRUPTED) {
            continue;   // a signal that asks for no stop
        }
        if (got < 0) {
            *failure = failureOf(FAILED_RECEIVE, NULL, error);
            return LISTEN_FAILED;
        }
        if (got == 0) {
            continue;   // the loop's head tells which time ran out
        }
        long before = s.datagrams;
        for (size_t i = 0; i < ready.size() && i < s.locals.size(); ++i) {
            if (ready[i] != 0 && !drain(s, i, deadline, failure)) {
                return LISTEN_FAILED;
            }
        }
        if (s.datagrams != before) {
            lastAnswer = s.wire.now();
            if (done && done()) {
                return LISTEN_DONE;
            }
        }
    }
}

const Sighting* findSighting(const Scanner& s, const unsigned char* mac)
{
    auto known = s.byMac.find(macKey(mac));
    return known == s.byMac.end() ? NULL : &s.found[known->second];
}

Failure sendSetting(Scanner& s, const Sighting& target, const unsigned char* setting)
{
    for (size_t i = 0; i < s.locals.size(); ++i) {
        if (memcmp(s.locals[i].address, target.local, IPV4_LEN) != 0) {
            continue;
        }
        int error = s.wire.send(i, setting, SETTING_LEN);
        if (error != 0) {
            return failureOf(FAILED_SEND, s.locals[i].address, error);
        }
        return noFailure();
    }
    return failureOf(FAILED_NO_SOCKET, target.local, 0);
}
