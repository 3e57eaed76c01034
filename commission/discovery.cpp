#include "commission/discovery.h"

static size_t foundOf(const Scanner& s, const Macs& wanted)
{
    size_t n = 0;
    for (const auto& mac : wanted) {
        n += findSighting(s, mac.data()) != NULL ? 1 : 0;
    }
    return n;
}

// The progress of the wait: what is found so far, and the seconds left before it ends.
static void tell(const Scanner& s, const Macs& wanted, size_t planned, double left, const EventSink& sink)
{
    Event e = eventOf(wanted.empty() ? EVENT_SCAN_WAIT : EVENT_PLANNED_WAIT);
    e.count = wanted.empty() ? (long)s.found.size() : (long)planned;
    e.other = (long)wanted.size();
    e.seconds = left;
    sink(e);
}

ListenEnd discover(Scanner& s, const ScanOptions& options, const EventSink& sink, Failure* failure)
{
    *failure = noFailure();
    const Macs& wanted = options.wanted;
    const double quiet = options.quiet;
    const double tellEvery = options.progressEvery;
    const double start = s.wire.now();
    const double deadline = start + options.maxTime;
    double nextTell = start;
    double lastNews = start;   // the last answer; with planned MACs, the last new one of them
    double allSince = -1;      // when the last planned MAC answered
    double nextRequest = start;
    int requests = 0;
    int settleRequests = 0;   // of SETTLE_ASK_AT
    size_t planned = 0;
    for (;;) {
        double now = s.wire.now();
        bool all = !wanted.empty() && planned == wanted.size();
        if (all && allSince < 0) {
            allSince = now;
        }
        if (all) {   // the window's next request, at its fraction of the settle time
            nextRequest =
                settleRequests < SETTLE_REQUESTS ? allSince + options.settle * SETTLE_ASK_AT[settleRequests] : deadline;
        }
        double end = all ? allSince + options.settle : lastNews + quiet;
        if (now >= deadline - TIME_STEP_S) {
            return LISTEN_DEADLINE;
        }
        if (now >= end - TIME_STEP_S) {
            return LISTEN_QUIET;
        }
        bool askAgain = wanted.empty() ? requests < EARLY_REQUESTS : !all || settleRequests < SETTLE_REQUESTS;
        if (askAgain && now >= nextRequest - TIME_STEP_S) {
            *failure = sendRequests(s);
            if (failure->call != FAILED_NONE) {
                return LISTEN_FAILED;
            }
            if (s.stopped) {
                return LISTEN_STOPPED;
            }
            ++requests;
            settleRequests += all ? 1 : 0;
            nextRequest = now + REQUEST_AGAIN_S;
            continue;   // the loop's head tells what to wait for now
        }
        double until = end < deadline ? end : deadline;
        if (tellEvery > 0 && now >= nextTell - TIME_STEP_S) {
            tell(s, wanted, planned, until - now, sink);
            nextTell = now + tellEvery;
        }
        until = askAgain && nextRequest < until ? nextRequest : until;
        until = tellEvery > 0 && nextTell < until ? nextTell : until;
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
