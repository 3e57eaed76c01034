// The watch: its state machine as one table of asks and the events they give, then the loop over
// a network in memory (one request an ask and a link, when gone is told, a flood, a stop, a
// failure) and the texts of an event.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <string>
#include <vector>

#include "commission/apply.h"
#include "commission/watch.h"
#include "protocol/address.h"
#include "report/watch_text.h"
#include "unit/fake_wire.h"

namespace {

// One answer: controller k's MAC, from 127.0.0.<from>, reporting 192.168.1.<ip> and a name.
struct Answer {
    int k;
    int from;
    int ip = 20;
    const char* name = "Hall-North";
    const char* gateway = "192.168.1.1";
};

// What one ask hears: before its answers are judged, and after.
struct Ask {
    std::vector<Answer> prompt;
    std::vector<Answer> late;
};

// Controller k from its own address, by default at 192.168.1.(19 + k).
Answer at(int k, int ip = 0, const char* name = "Hall-North")
{
    return Answer{k, 1 + k, ip != 0 ? ip : 19 + k, name};
}

// The answers as a scanner holds them: a sighting a MAC, every sender of it with its report.
Heard heardOf(const std::vector<Answer>& answers)
{
    Heard heard;
    for (const Answer& a : answers) {
        FakeController c = fakeController(a.k);
        c.r.ip[3] = (unsigned char)a.ip;
        (void)snprintf((char*)c.r.nodeName, sizeof c.r.nodeName, "%s", a.name);
        EXPECT_TRUE(parseIpv4(a.gateway, c.r.gateway));
        SenderReport report;
        report.address = {127, 0, 0, (unsigned char)a.from};
        report.response = c.r;
        report.afterScan = false;
        size_t i = 0;
        while (i < heard.found.size() && heard.found[i].response.mac[5] != a.k) {
            ++i;
        }
        if (i == heard.found.size()) {
            Sighting seen = Sighting();
            heard.found.push_back(seen);
            heard.senders.emplace_back();
        }
        Sighting& seen = heard.found[i];
        seen.response = c.r;
        memcpy(seen.sender, report.address.data(), IPV4_LEN);
        seen.local[0] = 10;
        ++seen.answers;
        bool known = false;
        for (SenderReport& one : heard.senders[i]) {
            known = known || one.address == report.address;
            one.response = one.address == report.address ? report.response : one.response;
        }
        if (!known) {
            heard.senders[i].push_back(report);
        }
    }
    return heard;
}

// An event as a case expects it: "<ask> <kind> <k>", then what changed (fields, was) and the
// conflict it carries (its senders, a duplicate IP).
std::string eventText(const WatchEvent& e)
{
    std::string text = std::to_string(e.ask) + " " + (e.kind == WATCH_FULL ? "full" : watchEventName(e.kind)) + " " +
                       std::to_string(e.controller.response.mac[5]);
    if (e.kind == WATCH_CHANGED) {
        std::string keys;
        for (unsigned field : WATCH_FIELDS) {
            keys += (e.fields & field) != 0 ? std::string(keys.empty() ? "" : ",") + watchFieldKey(field) : "";
        }
        text += " " + keys + " was ." + std::to_string(e.was.ip[3]) + " " + (const char*)e.was.nodeName;
    }
    text += e.flag.senders.empty() ? "" : " senders=" + std::to_string(e.flag.senders.size());
    return text + (e.flag.duplicateIp ? " dup" : "");
}

struct MachineCase {
    const char* name;
    int goneAfter;
    std::vector<Ask> asks;
    std::vector<std::string> events;
};

// A second sender of controller 1's MAC.
const Answer CLONE = {1, 9};

}   // namespace

TEST(Watch, MachineTable)
{
    const MachineCase cases[] = {
        {"present in the first ask, appeared later",
         3,
         {{{at(1), at(2)}}, {{at(1), at(2), at(3)}}},
         {"1 present 1", "1 present 2", "2 appeared 3"}},
        {"gone after N misses in a row; a heard ask starts the count again",
         3,
         {{{at(1)}}, {}, {}, {{at(1)}}, {}, {}, {}, {}},
         {"1 present 1", "7 gone 1"}},
        {"gone and back each told once",
         1,
         {{{at(1)}}, {}, {}, {{at(1)}}, {{at(1)}}},
         {"1 present 1", "2 gone 1", "4 back 1"}},
        {"changed: the fields and the values before",
         3,
         {{{at(1)}},
          {{at(1, 50, "Hall-South")}},
          {{at(1, 50, "Hall-South")}},
          {{{1, 2, 50, "Hall-South", "192.168.1.2"}}}},
         {"1 present 1", "2 changed 1 ip,node_name was .20 Hall-North", "4 changed 1 gateway was .50 Hall-South"}},
        {"back with other values: back, then changed",
         1,
         {{{at(1)}}, {}, {{at(1, 50)}}},
         {"1 present 1", "2 gone 1", "3 back 1", "3 changed 1 ip was .20 Hall-North"}},
        {"a new sender alone (the controller's new address) is a change, no conflict",
         3,
         {{{at(1)}}, {{{1, 50, 50}}}},
         {"1 present 1", "2 changed 1 ip was .20 Hall-North"}},
        {"heard twice in one ask from one sender: one controller, no event",
         1,
         {{{at(1)}, {at(1)}}, {{at(1), at(1)}}},
         {"1 present 1"}},
        {"a second sender in one ask: a conflict, told once while it stands",
         3,
         {{{at(1), CLONE}}, {{at(1), CLONE}}, {{at(1)}}, {{at(1), CLONE}}},
         {"1 present 1 senders=2", "1 conflict 1 senders=2"}},
        {"a second sender after the judgment still counts for its ask",
         3,
         {{{at(1)}}, {{at(1)}, {CLONE}}},
         {"1 present 1", "2 conflict 1 senders=2"}},
        {"a conflict ends after N asks with one sender, and is told again",
         2,
         {{{at(1), CLONE}}, {{at(1)}}, {{at(1)}}, {{at(1), CLONE}}},
         {"1 present 1 senders=2", "1 conflict 1 senders=2", "4 conflict 1 senders=2"}},
        {"a third sender is told again, with all three",
         3,
         {{{at(1), CLONE}}, {{at(1), CLONE, {1, 10}}}},
         {"1 present 1 senders=2", "1 conflict 1 senders=2", "2 conflict 1 senders=3"}},
        {"a duplicate IP: a conflict for each, again once it was resolved",
         3,
         {{{at(1), at(2)}}, {{at(1), at(2, 20)}}, {{at(1), at(2, 20)}}, {{at(1), at(2)}}, {{at(1), at(2, 20)}}},
         {"1 present 1", "1 present 2", "2 changed 2 ip was .21 Hall-North dup", "2 conflict 1 dup", "2 conflict 2 dup",
          "4 changed 2 ip was .20 Hall-North", "5 changed 2 ip was .21 Hall-North dup", "5 conflict 1 dup",
          "5 conflict 2 dup"}},
        {"a gone controller's IP is no duplicate; back, it is again",
         1,
         {{{at(1), at(2, 20)}}, {{at(2, 20)}}, {{at(1), at(2, 20)}}},
         {"1 present 1 dup", "1 present 2 dup", "1 conflict 1 dup", "1 conflict 2 dup", "2 gone 1", "3 back 1 dup",
          "3 conflict 1 dup", "3 conflict 2 dup"}},
        {"the first ask's late answers are present too", 3, {{{}, {at(1)}}}, {"1 present 1"}},
        {"an answer after the judgment: gone at it, back at once; then judged at the end of its ask",
         1,
         {{{at(1)}}, {{}, {at(1)}}, {{}, {at(1)}}, {}, {}},
         {"1 present 1", "2 gone 1", "2 back 1", "4 gone 1"}},
    };
    for (const MachineCase& c : cases) {
        WatchState w;
        startWatch(w, c.goneAfter);
        std::vector<std::string> told;
        std::array<long, WATCH_TALLIED> counted{};
        auto note = [&told, &counted](const std::vector<WatchEvent>& events) {
            for (const WatchEvent& e : events) {
                told.push_back(eventText(e));
                ++counted[e.kind];
            }
        };
        double t = 0;
        for (const Ask& ask : c.asks) {
            note(watchAsked(w, {0, t}));
            note(watchHeard(w, heardOf(ask.prompt), {0, t + 0.01}));
            note(watchJudged(w, {0, t + ANSWER_WINDOW_S}));
            note(watchHeard(w, heardOf(ask.late), {0, t + 0.5}));
            t += 1;
        }
        note(watchAsked(w, {0, t}));   // the last ask ends
        EXPECT_EQ(told, c.events) << c.name;
        EXPECT_EQ(w.tally, counted) << c.name << ": the tally counts every event";
    }
}

// The answers of one MAC counted since the watch began; its local address and sender as last heard.
TEST(Watch, EventCarriesTheControllerAsLastHeard)
{
    WatchState w;
    startWatch(w, 3);
    (void)watchAsked(w, {1000, 0});
    (void)watchHeard(w, heardOf({at(1), at(1)}), {1010, 0.01});
    (void)watchJudged(w, {1050, 0.05});
    (void)watchAsked(w, {2000, 1});
    std::vector<WatchEvent> events = watchHeard(w, heardOf({at(1, 50)}), {2010, 1.01});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, WATCH_CHANGED);
    EXPECT_EQ(events[0].controller.answers, 3);
    EXPECT_EQ(events[0].controller.response.ip[3], 50);
    EXPECT_EQ(events[0].time.wallMs, 2010);
    EXPECT_EQ(events[0].ask, 2);
}

// A flood of one MAC from ever-new senders keeps WATCH_MAX_SENDERS of them, its conflict told as
// they joined.
TEST(Watch, SendersOfOneControllerBounded)
{
    WatchState w;
    startWatch(w, 3);
    (void)watchAsked(w, {0, 0});
    size_t conflicts = 0;
    for (int from = 2; from < 2 + 100; ++from) {
        for (const WatchEvent& e : watchHeard(w, heardOf({{1, from}}), {0, 0.01})) {
            conflicts += e.kind == WATCH_CONFLICT ? 1 : 0;
            EXPECT_LE(e.flag.senders.size(), WATCH_MAX_SENDERS);
        }
    }
    EXPECT_EQ(conflicts, WATCH_MAX_SENDERS - 1) << "from the second sender on, until full";
    EXPECT_EQ(w.controllers[0].askSenders.size(), WATCH_MAX_SENDERS);
}

// Beyond the most kept, new MACs are left out, told once, not counted.
TEST(Watch, FullTableToldOnce)
{
    WatchState w;
    startWatch(w, 3);
    (void)watchAsked(w, {0, 0});
    Heard heard;
    FakeController c = fakeController(1);
    for (size_t i = 0; i <= WATCH_MAX_CONTROLLERS; ++i) {
        Sighting seen = Sighting();
        seen.response = c.r;
        memcpy(seen.response.mac + 2, &i, 4);
        memcpy(seen.response.ip, &i, 4);   // no duplicates to tell
        seen.answers = 1;
        heard.found.push_back(seen);
    }
    std::vector<WatchEvent> events = watchHeard(w, heard, {0, 0.01});
    ASSERT_EQ(events.size(), WATCH_MAX_CONTROLLERS + 1);
    EXPECT_EQ(events.back().kind, WATCH_FULL);
    EXPECT_EQ(w.tally[WATCH_PRESENT], (long)WATCH_MAX_CONTROLLERS);
    heard.found.erase(heard.found.begin(), heard.found.end() - 1);
    memset(heard.found[0].response.mac, 0xff, MAC_LEN);
    EXPECT_TRUE(watchHeard(w, heard, {0, 0.02}).empty()) << "told once";
}

namespace {

struct Watching {
    FakeNet net;
    Scanner links;
    std::vector<WatchEvent> events;

    explicit Watching(const std::vector<FakeController>& controllers, size_t count = 1)
    {
        net.controllers = controllers;
        net.links = count;
        std::vector<LocalInterface> locals(count);
        for (size_t i = 0; i < count; ++i) {
            memset(&locals[i], 0, sizeof locals[i]);
            locals[i].address[0] = 10;
            locals[i].address[2] = (unsigned char)i;
            locals[i].address[3] = 1;
        }
        startScanner(links, net.wire(), locals);
    }
    WatchResult run(const WatchOptions& options)
    {
        return watchControllers(links, options, [this](const WatchEvent& e) { events.push_back(e); });
    }
    const WatchEvent* first(WatchEventKind kind, int k) const
    {
        for (const WatchEvent& e : events) {
            if (e.kind == kind && e.controller.response.mac[5] == k) {
                return &e;
            }
        }
        return nullptr;
    }
};

// Controller k at 192.168.1.(19 + k), no duplicate of another.
FakeController own(int k)
{
    FakeController c = fakeController(k);
    c.r.ip[3] = (unsigned char)(19 + k);
    return c;
}

FakeController silent(int k, int from, int to, size_t link = 0)
{
    FakeController c = own(k);
    c.silentFrom = from;
    c.silentTo = to;
    c.link = link;
    return c;
}

WatchOptions every(double seconds, double maxTime, int goneAfter = 3)
{
    WatchOptions o;
    o.every = seconds;
    o.maxTime = maxTime;
    o.goneAfter = goneAfter;
    o.wallAtStartMs = 1000000;
    return o;
}

}   // namespace

// One request an ask from each local address, on time; gone told ANSWER_WINDOW_S after the
// goneAfter-th silent ask, back at the window of the first answered one.
TEST(Watch, LoopAsksOnceAnAskAndTellsGoneAtTheWindow)
{
    Watching run({own(1), silent(2, 3, 5, 1)}, 2);
    WatchResult result = run.run(every(1, 10));
    EXPECT_EQ(result.end, WATCH_ENDED_MAX_TIME);
    EXPECT_EQ(watchStatus(result), EXIT_OK);
    EXPECT_EQ(result.asks, 10);
    ASSERT_EQ(run.net.sent.size(), 20u) << "one request from each link an ask, nothing else";
    for (size_t i = 0; i < run.net.sent.size(); ++i) {
        EXPECT_EQ(run.net.sent[i].bytes.size(), (size_t)REQUEST_LEN);
        EXPECT_EQ(run.net.sent[i].link, i % 2);
        size_t ask = i / 2;   // from 0, a second apart
        EXPECT_NEAR(run.net.sent[i].at, (double)ask, 1e-6) << "asked on time";
    }
    EXPECT_NEAR(run.net.clock, 10, 0.01) << "ends at --max-time";
    const WatchEvent* gone = run.first(WATCH_GONE, 2);
    const WatchEvent* back = run.first(WATCH_BACK, 2);
    ASSERT_TRUE(gone != nullptr && back != nullptr);
    // Silent from the third ask (at 2 s): gone at the window of the fifth, back at the sixth's.
    EXPECT_NEAR(gone->time.seconds, 4 + ANSWER_WINDOW_S, 1e-3);
    EXPECT_EQ(gone->time.wallMs, 1000000 + 4000 + (long long)(ANSWER_WINDOW_S * 1000));
    EXPECT_NEAR(back->time.seconds, 5 + ANSWER_WINDOW_S, 1e-3);
    EXPECT_EQ(result.tally[WATCH_PRESENT], 2);
    EXPECT_EQ(result.tally[WATCH_GONE] + result.tally[WATCH_BACK], 2);
    EXPECT_EQ(run.events.size(), 4u);
}

// A controller that always answers after the window is judged at the end of its ask: no gone.
TEST(Watch, LoopLateAnswererNeverGone)
{
    FakeController late = fakeController(1);
    late.delay = 0.3;
    Watching run({late});
    WatchResult result = run.run(every(1, 6, 1));
    ASSERT_EQ(run.events.size(), 1u);
    EXPECT_EQ(run.events[0].kind, WATCH_PRESENT);
    EXPECT_NEAR(run.events[0].time.seconds, 0.3, 1e-3) << "told as it came";
    EXPECT_EQ(result.tally[WATCH_GONE], 0);
}

// Ever-new MACs without a pause: each ask still goes out on time and the watch ends at
// --max-time; the table stops growing at its limit.
TEST(Watch, LoopFloodHoldsNoAskBack)
{
    Watching run({});
    run.net.flood = 1;
    WatchResult result = run.run(every(0.25, 0.5));
    EXPECT_EQ(result.asks, 2);
    ASSERT_EQ(run.net.sent.size(), 2u);
    EXPECT_NEAR(run.net.sent[1].at, 0.25, 0.01);
    EXPECT_LE(run.net.clock, 0.51);
    EXPECT_EQ(result.tally[WATCH_PRESENT] + result.tally[WATCH_APPEARED], (long)WATCH_MAX_CONTROLLERS);
    size_t full = 0;
    for (const WatchEvent& e : run.events) {
        full += e.kind == WATCH_FULL ? 1 : 0;
    }
    EXPECT_EQ(full, 1u);
}

// A stop is seen within WATCH_STOP_CHECK_S even in a long wait no signal cuts short (Windows);
// a failed send ends the watch with the failure.
TEST(Watch, LoopEndsAtStopOrFailure)
{
    Watching stopped({fakeController(1)});
    stopped.links.wire.stop = [&stopped]() { return stopped.net.clock >= 1; };
    WatchResult result = stopped.run(every(WATCH_EVERY_MAX_S, 0));
    EXPECT_EQ(result.end, WATCH_ENDED_STOPPED);
    EXPECT_EQ(watchStatus(result), EXIT_OK);
    EXPECT_LE(stopped.net.clock, 1 + WATCH_STOP_CHECK_S + 1e-6);
    EXPECT_EQ(result.tally[WATCH_PRESENT], 1);

    Watching failing({fakeController(1)});
    failing.net.sendError = ENETDOWN;
    result = failing.run(every(1, 5));
    EXPECT_EQ(result.end, WATCH_ENDED_FAILED);
    EXPECT_EQ(result.failure.call, FAILED_SEND);
    EXPECT_EQ(result.failure.error, ENETDOWN);
    EXPECT_EQ(watchStatus(result), EXIT_NETWORK);
    EXPECT_EQ(result.asks, 0);
}

// The texts: JSON with the scan's keys after time and event, changed with fields and was; the
// table's columns; the tally in counted words.
TEST(Watch, Texts)
{
    WatchState w;
    startWatch(w, 3);
    (void)watchAsked(w, {0, 0});
    (void)watchHeard(w, heardOf({at(1)}), {0, 0});
    (void)watchAsked(w, {0, 1});
    std::vector<WatchEvent> events = watchHeard(w,
                                                heardOf({{1, 2, 50,
                                                          "=Gr\xc3\xb6\xc3\x9f"
                                                          "e\x1b"}}),
                                                {1796826000123LL, 1});
    ASSERT_EQ(events.size(), 1u);
    nlohmann::json line = nlohmann::json::parse(watchJsonLine(events[0]));
    EXPECT_EQ(line["time"], "2026-12-09T14:20:00.123Z");
    EXPECT_EQ(line["event"], "changed");
    EXPECT_EQ(line["mac"], "00.1a.2b.3c.00.01");
    EXPECT_EQ(line["ip"], "192.168.1.50");
    EXPECT_EQ(line["node_name"], "=Gr\xc3\xb6\xc3\x9f"
                                 "e\x1b");
    EXPECT_EQ(line["answers"], 2);
    EXPECT_EQ(line["fields"], nlohmann::json::parse(R"(["ip", "node_name"])"));
    EXPECT_EQ(line["was"], nlohmann::json::parse(R"({"ip": "192.168.1.20", "node_name": "Hall-North"})"));
    std::vector<std::string> keys;
    for (auto item = line.begin(); item != line.end(); ++item) {
        keys.push_back(item.key());
    }
    EXPECT_EQ(keys.size(), 19u) << "time, event, the scan's 15 keys, fields, was";
    std::string text = watchJsonLine(events[0]);
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line";
    EXPECT_EQ(text.rfind("{\"time\":", 0), 0u);

    std::string row = watchTableLine(events[0]);
    EXPECT_EQ(row.substr(12), "  changed   00.1a.2b.3c.00.01  192.168.1.50     =Gr\xc3\xb6\xc3\x9f"
                              "e?               "
                              "ip 192.168.1.20 -> 192.168.1.50, name 'Hall-North' -> '=Gr\xc3\xb6\xc3\x9f"
                              "e?'\n");
    EXPECT_EQ(watchTableHead(), "TIME          EVENT     MAC                IP               NODE NAME             "
                                "DETAIL\n");
    WatchResult result;
    result.tally = {3, 1, 2, 1, 1, 0};
    result.asks = 30;
    EXPECT_EQ(watchTallyLine(result), "3 present, 1 appeared, 2 gone, 1 back, 1 changed, 0 conflicts; 30 asks");
    result.tally = {0, 0, 0, 0, 0, 1};
    result.asks = 1;
    EXPECT_EQ(watchTallyLine(result), "0 present, 0 appeared, 0 gone, 0 back, 0 changed, 1 conflict; 1 ask");
}
