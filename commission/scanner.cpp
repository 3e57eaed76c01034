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

static bool stopNow(const Scanner& s)
{
    return s.wire.stop && s.wire.stop();
}

// One message from link, made again when a signal cut it short and no stop is asked for.
static Failure sendFrom(Scanner& s, size_t link, const unsigned char* message, int length)
{
    for (;;) {
        int error = s.wire.send(link, message, length);
        if (error == 0) {
            return noFailure();
        }
        if (error != SEND_INTERRUPTED) {
            return failureOf(FAILED_SEND, s.locals[link].address, error);
        }
        if (stopNow(s)) {
            s.stopped = true;
            return noFailure();
        }
    }
}

Failure sendRequests(Scanner& s)
{
    unsigned char request[REQUEST_LEN];
    buildRequest(request);
    for (size_t i = 0; i < s.locals.size() && !s.stopped; ++i) {
        Failure failure = sendFrom(s, i, request, REQUEST_LEN);
        if (failure.call != FAILED_NONE) {
            return failure;
        }
    }
    return noFailure();
}

uint64_t macKey(const unsigned char* mac)
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

// Notes r as the latest answer from sender for found[index].
static void noteSender(Scanner& s, size_t index, const unsigned char* sender, const Response& r)
{
    if (s.senders.size() < s.found.size()) {
        s.senders.resize(s.found.size());
    }
    for (SenderReport& known : s.senders[index]) {
        if (memcmp(known.address.data(), sender, IPV4_LEN) == 0) {
            known.response = r;
            return;
        }
    }
    SenderReport fresh;
    memcpy(fresh.address.data(), sender, IPV4_LEN);
    fresh.response = r;
    fresh.afterScan = !s.discovering;
    s.senders[index].push_back(fresh);
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
        noteSender(s, known->second, sender, r);
        return;
    }
    Sighting fresh;
    fresh.response = r;
    memcpy(fresh.sender, sender, IPV4_LEN);
    memcpy(fresh.local, s.locals[link].address, IPV4_LEN);
    fresh.answers = 1;
    s.byMac[macKey(r.mac)] = s.found.size();
    s.found.push_back(fresh);
    noteSender(s, s.found.size() - 1, sender, r);
}

// Every datagram waiting on link, until none is left or the deadline passes. LISTEN_FAILED when a
// receive failed for another reason than length, LISTEN_STOPPED when a signal cut one short and
// the wire says stop; else LISTEN_DONE.
static ListenEnd drain(Scanner& s, size_t link, double deadline, Failure* failure)
{
    while (s.wire.now() < deadline) {
        unsigned char buffer[RECV_LEN];
        memset(buffer, 0, sizeof buffer);
        int bytes = 0;
        unsigned char sender[IPV4_LEN] = {0, 0, 0, 0};
        int error = 0;
        switch (s.wire.receive(link, buffer, &bytes, sender, &error)) {
        case RECEIVED_NONE:
            return LISTEN_DONE;
        case RECEIVED_TOO_LONG:
            ++s.tooLong;   // not a response of ours; the next one may be
            break;
        case RECEIVED_INTERRUPTED:
            if (stopNow(s)) {
                s.stopped = true;
                return LISTEN_STOPPED;
            }
            break;   // a signal that asks for no stop: receive again
        case RECEIVED_FAILED:
            *failure = failureOf(FAILED_RECEIVE, s.locals[link].address, error);
            return LISTEN_FAILED;
        case RECEIVED:
            record(s, link, buffer, bytes, sender);
            break;
        }
    }
    return LISTEN_DONE;
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
            ListenEnd drained = ready[i] != 0 ? drain(s, i, deadline, failure) : LISTEN_DONE;
            if (drained != LISTEN_DONE) {
                return drained;
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
        if (memcmp(s.locals[i].address, target.local, IPV4_LEN) == 0) {
            return sendFrom(s, i, setting, SETTING_LEN);
        }
    }
    return failureOf(FAILED_NO_SOCKET, target.local, 0);
}
