#include "commission/discovery.h"

static size_t foundOf(const Scanner& s, const Macs& wanted)
{
    size_t n = 0;
    for (const auto& mac : wanted) {
        n += findSighting(s, mac.data()) != NULL ? 1 : 0;
    }
    return n;
}

ListenEnd discover(Scanner& s, double quiet, double maxTime, const Macs& wanted, Failure* failure)
{
    *failure = noFailure();
    const double start = s.wire.now();
    const double deadline = start + maxTime;
    double lastNews = start;   // the last answer; with planned MACs, the last new one of them
    double allSince = -1;      // when the last planned MAC answered
    double nextRequest = start;
    int requests = 0;
    size_t planned = 0;
    for (;;) {
        double now = s.wire.now();
        bool all = !wanted.empty() && planned == wanted.size();
        if (all && allSince < 0) {
            allSince = now;
        }
        double end = all ? allSince + SETTLE_S : lastNews + quiet;
        if (now >= deadline - TIME_STEP_S) {
            return LISTEN_DEADLINE;
        }
        if (now >= end - TIME_STEP_S) {
            return LISTEN_QUIET;
        }
        bool askAgain = wanted.empty() ? requests < EARLY_REQUESTS : !all;
        if (askAgain && now >= nextRequest - TIME_STEP_S) {
            *failure = sendRequests(s);
            if (failure->call != FAILED_NONE) {
                return LISTEN_FAILED;
            }
            ++requests;
            nextRequest = now + REQUEST_AGAIN_S;
            askAgain = wanted.empty() ? requests < EARLY_REQUESTS : true;
        }
        double until = end < deadline ? end : deadline;
        until = askAgain && nextRequest < until ? nextRequest : until;
        long before = s.datagrams;
        ListenEnd heard = listenFor(
            s, -1, until - now, []() { return true; }, failure);
        if (heard == LISTEN_FAILED || heard == LISTEN_STOPPED) {
            return heard;
        }
        if (s.datagrams == before) {
            continue;
        }
        size_t nowPlanned = foundOf(s, wanted);
        if (wanted.empty() || nowPlanned > planned) {
            lastNews = s.wire.now();
        }
        planned = nowPlanned;
    }
}
