#include "commission/scanner.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "protocol/messages.h"
#include "report/batch_output.h"

typedef std::chrono::steady_clock Clock;

bool openScanner(Scanner& s, const std::vector<LocalInterface>& locals, FILE* err)
{
    for (const LocalInterface& local : locals) {
        s.exchanges.push_back(std::unique_ptr<Exchange>(new Exchange));
        Exchange& x = *s.exchanges.back();
        initExchange(x);
        ExchangeFailure failure = openExchange(x, local.address, MULTICAST_TTL);
        if (failure == EXCHANGE_OK) {
            failure = sendFromBoundInterface(x);
        }
        s.locals.push_back(local);
        if (failure != EXCHANGE_OK) {
            fprintf(err, "brevindor-batch: ");
            printExchangeFailure(err, failure, local.address);
            closeScanner(s);
            return false;
        }
        if (!setReceiveBuffer(x.sock, SCAN_RECEIVE_BUFFER)) {
            fprintf(err, "brevindor-batch: warning: the receive buffer can't be enlarged\n");
        }
    }
    return true;
}

void closeScanner(Scanner& s)
{
    for (const auto& x : s.exchanges) {
        if (x->sock != INVALID_SOCKET) {
            closeExchange(*x);
        }
    }
    s.exchanges.clear();
    s.locals.clear();
}

bool sendRequests(Scanner& s, FILE* err)
{
    unsigned char request[REQUEST_LEN];
    buildRequest(request);
    for (size_t i = 0; i < s.exchanges.size(); ++i) {
        ExchangeFailure failure = sendToGroup(*s.exchanges[i], request, REQUEST_LEN);
        if (failure != EXCHANGE_OK) {
            fprintf(err, "brevindor-batch: ");
            printExchangeFailure(err, failure, s.locals[i].address);
            return false;
        }
    }
    return true;
}

// A response worth a row: our protocol, the response type, the fields up to the node name.
static bool isAnswer(const Response& r)
{
    return r.bytes >= RSP_NODE_NAME && memcmp(r.header.protocolId, PROTOCOL_ID, PROTOCOL_ID_LEN) == 0 &&
           isType(r.header.type, TYPE_RESPONSE);
}

static void record(Scanner& s, size_t from, const unsigned char* buffer, int bytes)
{
    Response r;
    decodeResponse(buffer, bytes, bytes, &r);
    if (!isAnswer(r)) {
        ++s.ignored;
        return;
    }
    ++s.datagrams;
    const unsigned char* sender = (const unsigned char*)&s.exchanges[from]->source_sin.sin_addr;
    for (Sighting& seen : s.found) {
        if (memcmp(seen.response.mac, r.mac, MAC_LEN) == 0) {
            seen.response = r;
            memcpy(seen.sender, sender, IPV4_LEN);
            ++seen.answers;
            return;
        }
    }
    Sighting fresh;
    fresh.response = r;
    memcpy(fresh.sender, sender, IPV4_LEN);
    memcpy(fresh.local, s.locals[from].address, IPV4_LEN);
    fresh.answers = 1;
    s.found.push_back(fresh);
}

// Every datagram waiting on x. False when a receive failed for another reason than length.
static bool drain(Scanner& s, size_t from, FILE* err)
{
    Exchange& x = *s.exchanges[from];
    const timeval poll = {0, 0};
    for (;;) {
        unsigned char buffer[RECV_LEN];
        memset(buffer, 0, sizeof buffer);
        int bytes = 0;
        NextResult next = receiveNext(x, poll, buffer, RECV_LEN, &bytes);
        if (next == NEXT_TIMEOUT) {
            return true;
        }
        if (next == NEXT_FAILED) {
            if (lastReceiveTooLong()) {
                ++s.tooLong;   // not a response of ours; the next one may be
                continue;
            }
            fprintf(err, "brevindor-batch: ");
            printExchangeFailure(err, FAIL_RECEIVE, s.locals[from].address);
            return false;
        }
        record(s, from, buffer, bytes);
    }
}

static timeval toTimeval(double seconds)
{
    timeval t;
    if (seconds < 0) {
        seconds = 0;
    }
    t.tv_sec = (long)std::floor(seconds);
    t.tv_usec = (long)((seconds - std::floor(seconds)) * 1e6);
    return t;
}

static double since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

ListenEnd listen(Scanner& s, double quiet, double seconds, const std::function<bool()>& done, FILE* err)
{
    Clock::time_point start = Clock::now();
    Clock::time_point lastAnswer = start;
    std::vector<Exchange*> all;
    for (auto& x : s.exchanges) {
        all.push_back(x.get());
    }
    std::unique_ptr<bool[]> ready(new bool[all.size()]);
    for (;;) {
        double left = seconds - since(start);
        bool byQuiet = false;
        if (quiet >= 0 && quiet - since(lastAnswer) < left) {
            left = quiet - since(lastAnswer);
            byQuiet = true;
        }
        if (left <= 0) {
            return byQuiet ? LISTEN_QUIET : LISTEN_DEADLINE;
        }
        int got = waitForAny(all.data(), (int)all.size(), toTimeval(left), ready.get());
        if (got < 0) {
            fprintf(err, "brevindor-batch: ");
            printExchangeFailure(err, FAIL_RECEIVE, NULL);
            return LISTEN_FAILED;
        }
        if (got == 0) {
            continue;   // the loop's head tells which time ran out
        }
        long before = s.datagrams;
        for (size_t i = 0; i < all.size(); ++i) {
            if (ready[i] && !drain(s, i, err)) {
                return LISTEN_FAILED;
            }
        }
        if (s.datagrams != before) {
            lastAnswer = Clock::now();
            if (done && done()) {
                return LISTEN_DONE;
            }
        }
    }
}

const Sighting* findSighting(const Scanner& s, const unsigned char* mac)
{
    for (const Sighting& seen : s.found) {
        if (memcmp(seen.response.mac, mac, MAC_LEN) == 0) {
            return &seen;
        }
    }
    return NULL;
}

bool sendSetting(Scanner& s, const Sighting& target, const unsigned char* setting, FILE* err)
{
    for (size_t i = 0; i < s.exchanges.size(); ++i) {
        if (memcmp(s.locals[i].address, target.local, IPV4_LEN) != 0) {
            continue;
        }
        ExchangeFailure failure = sendToGroup(*s.exchanges[i], setting, SETTING_LEN);
        if (failure != EXCHANGE_OK) {
            fprintf(err, "brevindor-batch: ");
            printExchangeFailure(err, failure, s.locals[i].address);
            return false;
        }
        return true;
    }
    fprintf(err, "brevindor-batch: no socket for the address that found the controller\n");
    return false;
}
