#include "commission/watch.h"

#include <cmath>
#include <cstring>

#include "commission/apply.h"
#include "platform/host.h"

namespace {

typedef std::vector<WatchEvent> Events;

ScanFlag flagOf(const Watched& c)
{
    ScanFlag flag;
    flag.senders = c.conflict;
    flag.duplicateIp = c.duplicateIp;
    return flag;
}

void tell(WatchState& w, Events* events, WatchEventKind kind, const Watched& c, const WatchTime& at)
{
    WatchEvent e;
    e.kind = kind;
    e.time = at;
    e.ask = w.ask;
    e.controller = c.last;
    e.flag = flagOf(c);
    events->push_back(e);
    if (kind < WATCH_TALLIED) {
        ++w.tally[kind];
    }
}

bool sameAddress(const std::array<unsigned char, IPV4_LEN>& a, const unsigned char* b)
{
    return memcmp(a.data(), b, IPV4_LEN) == 0;
}

// The report from address among reports, or NULL.
SenderReport* reportFrom(std::vector<SenderReport>& reports, const unsigned char* address)
{
    for (SenderReport& one : reports) {
        if (sameAddress(one.address, address)) {
            return &one;
        }
    }
    return NULL;
}

// found[i]'s senders; one made from the sighting itself when none are given.
std::vector<SenderReport> sendersOf(const Heard& heard, size_t i)
{
    if (i < heard.senders.size() && !heard.senders[i].empty()) {
        return heard.senders[i];
    }
    SenderReport only;
    memcpy(only.address.data(), heard.found[i].sender, IPV4_LEN);
    only.response = heard.found[i].response;
    only.afterScan = false;
    return std::vector<SenderReport>(1, only);
}

// Which of the fields differ between the two answers.
unsigned changedFields(const Response& before, const Response& now)
{
    unsigned fields = 0;
    fields |= memcmp(before.ip, now.ip, IPV4_LEN) != 0 ? WATCH_FIELD_IP : 0;
    fields |= memcmp(before.gateway, now.gateway, IPV4_LEN) != 0 ? WATCH_FIELD_GATEWAY : 0;
    fields |= memcmp(before.mask, now.mask, IPV4_LEN) != 0 ? WATCH_FIELD_MASK : 0;
    fields |= strcmp((const char*)before.nodeName, (const char*)now.nodeName) != 0 ? WATCH_FIELD_NODE_NAME : 0;
    return fields;
}

// Adds the senders heard to those of the ask (the latest report of each) and to a standing
// conflict's; true when two or more were heard in the ask and one of them is new to the conflict.
bool noteSenders(Watched& c, const std::vector<SenderReport>& senders)
{
    for (const SenderReport& one : senders) {
        SenderReport* known = reportFrom(c.askSenders, one.address.data());
        if (known != NULL) {
            known->response = one.response;
        } else if (c.askSenders.size() < WATCH_MAX_SENDERS) {
            c.askSenders.push_back(one);
        }
        SenderReport* inConflict = reportFrom(c.conflict, one.address.data());
        if (inConflict != NULL) {
            inConflict->response = one.response;
        }
    }
    if (c.askSenders.size() < 2) {
        return false;
    }
    bool grew = false;
    for (const SenderReport& one : c.askSenders) {
        if (reportFrom(c.conflict, one.address.data()) == NULL && c.conflict.size() < WATCH_MAX_SENDERS) {
            c.conflict.push_back(one);
            grew = true;
        }
    }
    c.calm = 0;
    return grew;
}

// A controller that missed the current ask; gone once it missed goneAfter in a row. True when
// it went gone.
bool miss(WatchState& w, Watched& c, Events* events, const WatchTime& at)
{
    ++c.missed;
    if (c.gone || c.missed < w.goneAfter) {
        return false;
    }
    c.gone = true;
    tell(w, events, WATCH_GONE, c, at);
    return true;
}

// Marks every controller not gone whose IP another one not gone reports; a conflict for each
// newly so. Linear in the controllers.
void findDuplicateIps(WatchState& w, Events* events, const WatchTime& at)
{
    std::unordered_map<uint32_t, size_t> reporting;
    reporting.reserve(w.controllers.size());
    for (const Watched& c : w.controllers) {
        if (!c.gone) {
            ++reporting[ipKey(c.last.response.ip)];
        }
    }
    for (Watched& c : w.controllers) {
        bool duplicate = !c.gone && reporting[ipKey(c.last.response.ip)] > 1;
        if (duplicate && !c.duplicateIp) {
            c.duplicateIp = true;
            tell(w, events, WATCH_CONFLICT, c, at);
        }
        c.duplicateIp = duplicate;
    }
}

// The events told since index from show the flags as they stand once the feed is done.
void refreshFlags(const WatchState& w, Events* events, size_t from)
{
    for (size_t i = from; i < events->size(); ++i) {
        WatchEvent& e = (*events)[i];
        auto known = w.byMac.find(macKey(e.controller.response.mac));
        if (e.kind != WATCH_FULL && known != w.byMac.end()) {
            e.flag = flagOf(w.controllers[known->second]);
        }
    }
}

// A MAC heard for the first time; false when no more are kept.
bool firstHeard(WatchState& w, const Sighting& seen, const std::vector<SenderReport>& senders, Events* events,
                const WatchTime& at)
{
    if (w.controllers.size() >= WATCH_MAX_CONTROLLERS) {
        if (!w.full) {
            w.full = true;
            Watched left;
            left.last = seen;
            tell(w, events, WATCH_FULL, left, at);
        }
        return false;
    }
    Watched fresh;
    fresh.last = seen;
    memcpy(fresh.last.sender, senders[0].address.data(), IPV4_LEN);   // the first heard
    fresh.last.response = senders[0].response;
    fresh.heard = true;
    fresh.late = w.judged;
    bool conflict = noteSenders(fresh, senders);
    w.byMac[macKey(seen.response.mac)] = w.controllers.size();
    w.controllers.push_back(fresh);
    tell(w, events, w.ask <= 1 ? WATCH_PRESENT : WATCH_APPEARED, fresh, at);
    if (conflict) {
        tell(w, events, WATCH_CONFLICT, fresh, at);
    }
    return true;
}

}   // namespace

void startWatch(WatchState& w, int goneAfter)
{
    w = WatchState();
    w.goneAfter = goneAfter;
}

std::vector<WatchEvent> watchAsked(WatchState& w, const WatchTime& at)
{
    Events events;
    bool wentGone = false;
    if (w.ask > 0) {   // the ask before ends
        for (Watched& c : w.controllers) {
            if (!c.heard && c.late) {
                wentGone = miss(w, c, &events, at) || wentGone;
            }
            if (c.askSenders.size() < 2 && !c.conflict.empty() && ++c.calm >= w.goneAfter) {
                c.conflict.clear();   // one sender at most for as long as it takes to be gone
                c.calm = 0;
            }
        }
    }
    if (wentGone) {
        findDuplicateIps(w, &events, at);
        refreshFlags(w, &events, 0);
    }
    for (Watched& c : w.controllers) {
        c.heard = false;
        c.askSenders.clear();
    }
    ++w.ask;
    w.judged = false;
    return events;
}

std::vector<WatchEvent> watchHeard(WatchState& w, const Heard& heard, const WatchTime& at)
{
    Events events;
    bool ipsMoved = false;   // an IP changed, or a controller came or went: duplicates anew
    for (size_t i = 0; i < heard.found.size(); ++i) {
        const Sighting& seen = heard.found[i];
        std::vector<SenderReport> senders = sendersOf(heard, i);
        auto known = w.byMac.find(macKey(seen.response.mac));
        if (known == w.byMac.end()) {
            ipsMoved = firstHeard(w, seen, senders, &events, at) || ipsMoved;
            continue;
        }
        Watched& c = w.controllers[known->second];
        // The same device as before where it is among the senders, else the first heard.
        const SenderReport* same = NULL;
        for (const SenderReport& one : senders) {
            same = same == NULL && sameAddress(one.address, c.last.sender) ? &one : same;
        }
        const SenderReport& now = same != NULL ? *same : senders[0];
        Response was = c.last.response;
        unsigned fields = changedFields(was, now.response);
        bool wasGone = c.gone;
        c.last.response = now.response;
        memcpy(c.last.sender, now.address.data(), IPV4_LEN);
        memcpy(c.last.local, seen.local, IPV4_LEN);
        c.last.answers += seen.answers;
        c.missed = 0;
        c.gone = false;
        c.heard = true;
        c.late = w.judged;
        bool conflict = noteSenders(c, senders);
        ipsMoved = ipsMoved || wasGone || (fields & WATCH_FIELD_IP) != 0;
        if (wasGone) {
            tell(w, &events, WATCH_BACK, c, at);
        }
        if (fields != 0) {
            tell(w, &events, WATCH_CHANGED, c, at);
            events.back().fields = fields;
            events.back().was = was;
        }
        if (conflict) {
            tell(w, &events, WATCH_CONFLICT, c, at);
        }
    }
    if (ipsMoved) {
        findDuplicateIps(w, &events, at);
        refreshFlags(w, &events, 0);
    }
    return events;
}

std::vector<WatchEvent> watchJudged(WatchState& w, const WatchTime& at)
{
    Events events;
    w.judged = true;
    bool wentGone = false;
    for (Watched& c : w.controllers) {
        if (!c.heard && !c.late) {
            wentGone = miss(w, c, &events, at) || wentGone;
        }
    }
    if (wentGone) {
        findDuplicateIps(w, &events, at);
        refreshFlags(w, &events, 0);
    }
    return events;
}

namespace {

// The watch's clock: steady seconds from the wire, the wall clock of its start moved along them,
// so that event times never go back.
struct Clock {
    double start;
    long long wallStart;
    WatchTime at(double now) const
    {
        return WatchTime{wallStart + (long long)std::llround((now - start) * 1000), now - start};
    }
};

Heard takeHeard(Scanner& s)
{
    Heard heard;
    heard.found.swap(s.found);
    heard.senders.swap(s.senders);
    return heard;
}

// Listens on a fresh scanner until the wire's clock reaches until, in waits of
// WATCH_STOP_CHECK_S at most; with eachBatch, returns as soon as answers came.
ListenEnd listenUntil(Scanner& s, const Scanner& links, double until, bool eachBatch, Failure* failure)
{
    startScanner(s, links.wire, links.locals);
    for (;;) {
        double left = until - s.wire.now();
        if (left <= TIME_STEP_S) {
            *failure = noFailure();
            return LISTEN_DEADLINE;
        }
        ListenEnd end = listenFor(
            s, -1, left < WATCH_STOP_CHECK_S ? left : WATCH_STOP_CHECK_S, []() { return true; }, failure);
        if (end == LISTEN_FAILED || end == LISTEN_STOPPED || (eachBatch && !s.found.empty())) {
            return end;
        }
    }
}

}   // namespace

WatchResult watchControllers(const Scanner& links, const WatchOptions& options, const WatchSink& sink)
{
    WatchResult result;
    WatchState w;
    startWatch(w, options.goneAfter);
    const Wire& wire = links.wire;
    const Clock clock = {wire.now(), options.wallAtStartMs >= 0 ? options.wallAtStartMs : wallClockMs()};
    const double end = options.maxTime > 0 ? clock.start + options.maxTime : INFINITY;
    auto hand = [&sink](const Events& events) {
        for (const WatchEvent& e : events) {
            sink(e);
        }
    };
    Scanner s;
    Failure failure = noFailure();
    ListenEnd heard = LISTEN_DEADLINE;
    for (long k = 0; heard != LISTEN_FAILED && heard != LISTEN_STOPPED; ++k) {
        double now = wire.now();
        while (clock.start + (double)(k + 1) * options.every <= now) {
            ++k;   // far behind (a sink that blocked): the asks missed are not made up
        }
        if (now >= end - TIME_STEP_S) {
            break;
        }
        if (wire.stop && wire.stop()) {
            heard = LISTEN_STOPPED;
            break;
        }
        hand(watchAsked(w, clock.at(now)));
        startScanner(s, wire, links.locals);
        failure = sendRequests(s);
        if (failure.call != FAILED_NONE || s.stopped) {
            heard = s.stopped ? LISTEN_STOPPED : LISTEN_FAILED;
            break;
        }
        ++result.asks;
        double nextAsk = clock.start + (double)(k + 1) * options.every;
        double until = nextAsk < end ? nextAsk : end;
        double judgeAt = now + ANSWER_WINDOW_S < nextAsk ? now + ANSWER_WINDOW_S : nextAsk;
        heard = listenUntil(s, links, judgeAt < end ? judgeAt : end, false, &failure);
        hand(watchHeard(w, takeHeard(s), clock.at(wire.now())));
        if (heard == LISTEN_DEADLINE && judgeAt < end) {
            hand(watchJudged(w, clock.at(wire.now())));
        }
        while (heard != LISTEN_FAILED && heard != LISTEN_STOPPED && wire.now() < until - TIME_STEP_S) {
            heard = listenUntil(s, links, until, true, &failure);
            if (!s.found.empty()) {
                hand(watchHeard(w, takeHeard(s), clock.at(wire.now())));
            }
        }
    }
    result.end = heard == LISTEN_FAILED    ? WATCH_ENDED_FAILED
                 : heard == LISTEN_STOPPED ? WATCH_ENDED_STOPPED
                                           : WATCH_ENDED_MAX_TIME;
    result.failure = heard == LISTEN_FAILED ? failure : noFailure();
    result.seconds = wire.now() - clock.start;
    result.tally = w.tally;
    return result;
}

int watchStatus(const WatchResult& result)
{
    return result.end == WATCH_ENDED_FAILED ? EXIT_NETWORK : EXIT_OK;
}

bool openWatchLinks(WatchLinks& links, const std::string& where)
{
    std::vector<LocalInterface> locals;
    links.choice = chooseInterfaces(where, &locals, &links.candidates);
    if (links.choice != CHOSEN) {
        return false;
    }
    links.failure = openSockets(links.sockets, locals);
    if (links.failure.call != FAILED_NONE) {
        return false;
    }
    startScanner(links.scanner, socketWire(links.sockets), locals);
    return true;
}

void closeWatchLinks(WatchLinks& links)
{
    closeSockets(links.sockets);
}

int watchLinksStatus(const WatchLinks& links)
{
    if (links.choice != CHOSEN) {
        return links.choice == CHOICE_FAILED ? EXIT_NETWORK : EXIT_USAGE;
    }
    return links.failure.call != FAILED_NONE ? EXIT_NETWORK : EXIT_OK;
}
