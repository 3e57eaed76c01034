// Watching the controllers live: one request from each local address every few seconds, and what
// changed, as events: a controller first heard (present in the first ask, appeared later), gone
// (not heard in goneAfter asks in a row), back, changed (IP, gateway, mask or node name), and in
// conflict (its MAC from a second sender in one ask, or its IP reported by another MAC).
//
// The state machine is pure: it is told when an ask goes out, what was heard since, and when the
// ask's answers are judged, each with the time, and returns the events. The loop asks, listens
// and feeds it, and hands every event on at once.
//
// Answers come within milliseconds of the ask, so an ask is judged ANSWER_WINDOW_S after it went
// out: a controller that falls silent is gone within goneAfter asks and that window. An answer
// that comes later still counts for its ask (a controller judged gone by it is back at once); a
// controller whose last answer came that late is judged at the end of the ask instead.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "commission/conflicts.h"
#include "commission/interfaces.h"
#include "commission/scanner.h"
#include "commission/socket_wire.h"

const double WATCH_EVERY_S = 2;   // between asks, by default
const double WATCH_EVERY_MIN_S = 0.25;
const double WATCH_EVERY_MAX_S = 3600;
const int WATCH_GONE_AFTER = 3;   // asks in a row without an answer, by default
const int WATCH_GONE_AFTER_MAX = 1000;
const double ANSWER_WINDOW_S = 0.05;   // an ask is judged this long after it went out
// Controllers kept at most; further MACs (a flood) are left out, told once.
const size_t WATCH_MAX_CONTROLLERS = 65536;
// Senders kept at most for one controller (in an ask, and in its conflict); further ones (a flood
// from ever-new addresses) are left out: the conflict stands all the same.
const size_t WATCH_MAX_SENDERS = 32;
// Longest wait between looks at the wire's stop: a Ctrl-C on Windows does not cut a wait short.
const double WATCH_STOP_CHECK_S = 0.25;

enum WatchEventKind {
    WATCH_PRESENT,    // first heard in the first ask
    WATCH_APPEARED,   // first heard later
    WATCH_GONE,       // not heard in goneAfter asks in a row
    WATCH_BACK,       // heard again after gone
    WATCH_CHANGED,    // fields: what differs from the answer before, was: that answer
    WATCH_CONFLICT,   // flag: a second sender for its MAC in one ask, or a duplicate IP
    WATCH_FULL,       // WATCH_MAX_CONTROLLERS kept: this MAC and any further ones left out; once
};
const int WATCH_TALLIED = WATCH_CONFLICT + 1;   // the kinds counted, WATCH_FULL not

// The fields whose change is an event, as bits of WatchEvent::fields.
enum WatchField {
    WATCH_FIELD_IP = 1,
    WATCH_FIELD_GATEWAY = 2,
    WATCH_FIELD_MASK = 4,
    WATCH_FIELD_NODE_NAME = 8,
};
const unsigned WATCH_FIELDS[] = {WATCH_FIELD_IP, WATCH_FIELD_GATEWAY, WATCH_FIELD_MASK, WATCH_FIELD_NODE_NAME};

struct WatchTime {
    long long wallMs;   // milliseconds since 1970 UTC
    double seconds;     // since the watch began, on the wire's steady clock
};

struct WatchEvent {
    WatchEventKind kind;
    WatchTime time;
    long ask;                    // the ask it belongs to, 1 for the first
    Sighting controller;         // as last heard; answers: all of them since the watch began
    ScanFlag flag;               // its standing conflict, as a scan's flag shows it
    unsigned fields = 0;         // changed: WatchField bits
    Response was = Response();   // changed: the answer before
};

// What was heard since the ask or the last feed: a sighting a MAC, and each one's distinct
// senders with what each reported (as a scanner holds them).
struct Heard {
    std::vector<Sighting> found;
    std::vector<std::vector<SenderReport>> senders;   // found[i]'s
};

// One controller watched.
struct Watched {
    Sighting last;     // as last heard, its answers counted since the watch began
    long missed = 0;   // asks in a row without an answer
    bool gone = false;
    bool heard = false;                     // since the current ask went out
    bool late = false;                      // its last answer came after its ask was judged
    std::vector<SenderReport> askSenders;   // distinct senders since the current ask
    std::vector<SenderReport> conflict;     // the standing conflict's senders; empty: none
    long calm = 0;                          // asks in a row with one sender at most, while a conflict stands
    bool duplicateIp = false;               // another controller not gone reports its IP
};

struct WatchState {
    int goneAfter = WATCH_GONE_AFTER;
    long ask = 0;                                 // the current ask, 1 for the first; 0 before it
    bool judged = false;                          // the current ask's answers are judged
    std::vector<Watched> controllers;             // in the order first heard
    std::unordered_map<uint64_t, size_t> byMac;   // MAC -> index in controllers
    bool full = false;                            // WATCH_FULL told
    std::array<long, WATCH_TALLIED> tally{};      // events of each kind
};

// Nothing watched yet.
void startWatch(WatchState& w, int goneAfter);
// An ask went out: the one before ends (a controller judged at its end that was not heard in it
// missed it) and a new one begins.
std::vector<WatchEvent> watchAsked(WatchState& w, const WatchTime& at);
// Answers to the current ask, heard since it went out or since the last feed.
std::vector<WatchEvent> watchHeard(WatchState& w, const Heard& heard, const WatchTime& at);
// The current ask's answers are judged: a controller judged at the window that was not heard
// since the ask missed it.
std::vector<WatchEvent> watchJudged(WatchState& w, const WatchTime& at);

struct WatchOptions {
    double every = WATCH_EVERY_S;
    int goneAfter = WATCH_GONE_AFTER;
    double maxTime = 0;             // > 0: the watch ends this long after it began
    long long wallAtStartMs = -1;   // the wall clock when it begins; < 0: the system's
};

enum WatchEnd {
    WATCH_ENDED_MAX_TIME,
    WATCH_ENDED_STOPPED,   // the wire said stop (a signal)
    WATCH_ENDED_FAILED,    // a send, the wait or a receive failed (failure says how)
};

struct WatchResult {
    WatchEnd end = WATCH_ENDED_MAX_TIME;
    Failure failure = noFailure();
    long asks = 0;
    double seconds = 0;                        // from the first ask to the end
    std::array<long, WATCH_TALLIED> tally{};   // events of each kind
};

typedef std::function<void(const WatchEvent&)> WatchSink;

// Asks every options.every seconds from every local address of links (one request each, no
// more), listens until the next ask and hands each event to sink as soon as it is known, until
// maxTime, the wire's stop or a failure.
WatchResult watchControllers(const Scanner& links, const WatchOptions& options, const WatchSink& sink);

// The exit status of a watch: EXIT_OK, or EXIT_NETWORK after a failure.
int watchStatus(const WatchResult& result);

// What a watch works from: the chosen local addresses, a socket each and a scanner over them.
struct WatchLinks {
    Sockets sockets;
    Scanner scanner;
    Choice choice = CHOSEN;                   // why none could be chosen, else CHOSEN
    std::vector<LocalInterface> candidates;   // for the message when the choice is not clear
    Failure failure = noFailure();            // a socket that could not be opened
};

// Chooses the interfaces named by where (as the scan does), opens their sockets and starts
// links.scanner over them; false when the choice or a socket failed, with nothing left open.
bool openWatchLinks(WatchLinks& links, const std::string& where);
void closeWatchLinks(WatchLinks& links);
// The exit status when the links could not be opened: EXIT_USAGE for a choice refused,
// EXIT_NETWORK for a failure of the system.
int watchLinksStatus(const WatchLinks& links);
