// The commissioning engine against a network in memory: scans, settings, verification, timing,
// failures and a flood, without sockets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commission/apply.h"
#include "commission/conflicts.h"
#include "commission/discovery.h"
#include "commission/interfaces.h"
#include "commission/job.h"
#include "commission/journal_read.h"
#include "protocol/address.h"
#include "unit/fake_wire.h"

namespace {

enum Kind { ETHERNET, LOOPBACK, TUNNEL, DOWN };

LocalInterface local(const char* name, const char* address, Kind kind = ETHERNET, const char* adapter = "")
{
    LocalInterface l;
    memset(&l, 0, sizeof l);
    (void)snprintf(l.name, sizeof l.name, "%s", name);
    (void)snprintf(l.adapterName, sizeof l.adapterName, "%s", adapter);
    EXPECT_TRUE(parseIpv4(address, l.address));
    l.loopback = kind == LOOPBACK;
    l.tunnel = kind == TUNNEL;
    l.up = kind != DOWN;
    return l;
}

// Controller k's row; an empty address keeps the controller's.
PlanRow row(int k, const char* ip, const char* gateway = "", const char* mask = "")
{
    PlanRow r;
    memset(&r, 0, sizeof r);
    r.line = k + 1;
    memcpy(r.mac, fakeController(k).r.mac, MAC_LEN);
    r.setIp = parseIpv4(ip, r.ip);
    r.setGateway = parseIpv4(gateway, r.gateway);
    r.setMask = parseIpv4(mask, r.mask);
    return r;
}

struct Session {
    FakeNet net;
    Scanner scanner;
    std::vector<Event> events;

    explicit Session(const std::vector<FakeController>& controllers, size_t links = 1)
    {
        net.controllers = controllers;
        net.links = links;
        std::vector<LocalInterface> locals;
        for (size_t i = 0; i < links; ++i) {
            locals.push_back(local("eth", ("10.0." + std::to_string(i) + ".1").c_str()));
        }
        startScanner(scanner, net.wire(), locals);
    }
    EventSink sink()
    {
        return [this](const Event& e) { events.push_back(e); };
    }
};

std::string ipText(const unsigned char* a)
{
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

struct ApplyCase {
    const char* name;
    std::vector<FakeController> controllers;
    std::vector<PlanRow> rows;
    std::vector<OutcomeState> states;
    long status;
    std::vector<std::string> settings;   // ip/gateway/mask of each setting sent
    double verifyTime = 2;
    bool dryRun = false;
    bool noVerify = false;
    double stopAt = -1;   // the wire says stop from this time on (a signal)
    struct {
        double at;    // >= 0: a signal cuts the first receive from this time on short
        bool stops;   // and asks the run to stop
    } interrupt = {-1, true};
};

FakeController ignoring(int k)
{
    FakeController c = fakeController(k);
    c.ignoreSettings = true;
    return c;
}

FakeController slow(int k, double seconds)
{
    FakeController c = fakeController(k);
    c.settingDelay = seconds;
    return c;
}

// Controller k's MAC answering from controller other's sender address.
FakeController cloneOf(int k, int other)
{
    FakeController c = fakeController(k);
    memcpy(c.from, fakeController(other).from, IPV4_LEN);
    return c;
}

// Controller k's MAC from controller other's sender address, answering this late and losing its
// answers to the first requests.
FakeController lateClone(int k, int other, double delay, int lostAnswers = 0)
{
    FakeController c = cloneOf(k, other);
    c.delay = delay;
    c.losesAnswers = lostAnswers;
    return c;
}

FakeController losing(int k)
{
    FakeController c = fakeController(k);
    c.losesSettings = 1;
    return c;
}

FakeController moving(int k)
{
    FakeController c = fakeController(k);
    c.answersFromNewIp = true;
    return c;
}

const std::string KEPT = "192.168.1.20/192.168.1.1/";

}   // namespace

TEST(Engine, ScanMergesByMacKeepsOrderAndTheLinkThatHeard)
{
    FakeController late = fakeController(1);
    late.delay = 0.2;
    late.repeats = 2;
    FakeController early = fakeController(2);
    early.delay = 0.05;
    early.link = 1;
    Session run({late, early}, 2);
    ScanOptions options;
    options.quiet = 0.5;
    Failure f = scanOnce(run.scanner, options, run.sink());
    ASSERT_EQ(f.call, FAILED_NONE);
    ASSERT_EQ(run.scanner.found.size(), 2u);
    const Sighting& first = run.scanner.found[0];
    EXPECT_EQ(first.response.mac[5], 2) << "in order of first answer";
    EXPECT_EQ(ipText(first.local), "10.0.1.1") << "the local address of the link that heard it";
    EXPECT_EQ(ipText(first.sender), "127.0.0.3");
    EXPECT_EQ(run.scanner.found[1].answers, 2 * EARLY_REQUESTS) << "one row however often it answers";
    EXPECT_EQ(run.scanner.datagrams, 3 * EARLY_REQUESTS);
    EXPECT_NEAR(run.net.clock, 0.75 + 0.4 + 0.5, 1e-6) << "quiet time after the last answer to the last request";
    EXPECT_EQ(run.events.back().kind, EVENT_SCANNED);

    unsigned char setting[SETTING_LEN];
    buildSetting(setting, first.response.mac, first.response.ip, first.response.gateway, first.response.mask);
    EXPECT_EQ(sendSetting(run.scanner, first, setting).call, FAILED_NONE);
    EXPECT_EQ(run.net.sent.back().link, 1u) << "a setting leaves by the link that heard the controller";
}

// Ever-new MACs without a pause: --max-time still ends the scan, and every one is a row.
TEST(Engine, FloodEndsAtMaxTime)
{
    Session run({});
    run.net.flood = 1;
    ScanOptions options;
    options.quiet = 2;
    options.maxTime = 0.5;
    ASSERT_EQ(scanOnce(run.scanner, options, run.sink()).call, FAILED_NONE);
    EXPECT_GE(run.net.clock, 0.5);
    EXPECT_LE(run.net.clock, 0.7);
    EXPECT_EQ((long)run.scanner.found.size(), run.scanner.datagrams);
    EXPECT_GT(run.scanner.datagrams, 100000);
    bool told = false;
    for (const Event& e : run.events) {
        told = told || e.kind == EVENT_MAX_TIME;
    }
    EXPECT_TRUE(told);
}

TEST(Engine, ApplyTable)
{
    const ApplyCase cases[] = {
        {"mask alone differs",
         {fakeController(1)},
         {row(1, "", "", "255.255.0.0")},
         {OUTCOME_VERIFIED},
         EXIT_OK,
         {KEPT + "255.255.0.0"}},
        {"gateway alone differs",
         {fakeController(1)},
         {row(1, "", "192.168.1.254")},
         {OUTCOME_VERIFIED},
         EXIT_OK,
         {"192.168.1.20/192.168.1.254/255.255.255.0"}},
        {"already there", {fakeController(1)}, {row(1, "192.168.1.20")}, {OUTCOME_UNCHANGED}, EXIT_OK, {}},
        {"not found", {fakeController(1)}, {row(9, "192.168.1.50")}, {OUTCOME_NOT_FOUND}, EXIT_NOT_FOUND, {}},
        {"ignored, and one missing: unconfirmed wins",
         {ignoring(1)},
         {row(1, "192.168.1.50"), row(2, "192.168.1.51")},
         {OUTCOME_NOT_CONFIRMED, OUTCOME_NOT_FOUND},
         EXIT_UNCONFIRMED,
         {"192.168.1.50/192.168.1.1/255.255.255.0"}},
        {"taken late, in time", {slow(1, 1.2)}, {row(1, "192.168.1.50")}, {OUTCOME_VERIFIED}, EXIT_OK, {"x"}, 5},
        {"taken too late", {slow(1, 3)}, {row(1, "192.168.1.50")}, {OUTCOME_NOT_CONFIRMED}, EXIT_UNCONFIRMED, {"x"}, 1},
        {"dry run", {fakeController(1)}, {row(1, "192.168.1.50")}, {OUTCOME_WOULD_SEND}, EXIT_OK, {}, 2, true},
        {"no verify", {ignoring(1)}, {row(1, "192.168.1.50")}, {OUTCOME_SENT}, EXIT_OK, {"x"}, 2, false, true},
        {"a clone: nothing sent to it",
         {fakeController(1), cloneOf(1, 5), fakeController(2)},
         {row(1, "192.168.1.50"), row(2, "192.168.1.51")},
         {OUTCOME_CONFLICT, OUTCOME_VERIFIED},
         EXIT_CONFLICT,
         {"x"}},
        {"unconfirmed beats conflict, conflict beats not found",
         {fakeController(1), cloneOf(1, 5), ignoring(2)},
         {row(1, "192.168.1.50"), row(2, "192.168.1.51"), row(9, "192.168.1.59")},
         {OUTCOME_CONFLICT, OUTCOME_NOT_CONFIRMED, OUTCOME_NOT_FOUND},
         EXIT_UNCONFIRMED,
         {"x"}},
        {"conflict beats not found",
         {fakeController(1), cloneOf(1, 5)},
         {row(1, "192.168.1.50"), row(9, "192.168.1.59")},
         {OUTCOME_CONFLICT, OUTCOME_NOT_FOUND},
         EXIT_CONFLICT,
         {}},
        {"the first setting lost: sent again while verifying",
         {losing(1)},
         {row(1, "192.168.1.50")},
         {OUTCOME_VERIFIED},
         EXIT_OK,
         {"x"}},
        {"answers from its new address while verifying: no conflict",
         {moving(1)},
         {row(1, "192.168.1.50")},
         {OUTCOME_VERIFIED},
         EXIT_OK,
         {"x"}},
        {"stopped after the first verify round",
         {ignoring(1)},
         {row(1, "192.168.1.50"), row(3, "192.168.1.52")},
         {OUTCOME_NOT_CONFIRMED, OUTCOME_NOT_FOUND},
         EXIT_UNCONFIRMED,
         {"x"},
         8,
         false,
         false,
         1.2},
        {"stopped during the scan", {fakeController(1)}, {row(1, "192.168.1.50")}, {}, EXIT_OK, {}, 2, false, false, 0},
        {"a clone answering 0.9 s late: nothing sent to it",
         {fakeController(1), lateClone(1, 5, 0.9)},
         {row(1, "192.168.1.50")},
         {OUTCOME_CONFLICT},
         EXIT_CONFLICT,
         {}},
        {"a clone whose first two answers are lost: nothing sent to it",
         {fakeController(1), lateClone(1, 5, 0.01, 2)},
         {row(1, "192.168.1.50")},
         {OUTCOME_CONFLICT},
         EXIT_CONFLICT,
         {}},
        {"a clone heard only while verifying: the row says so",
         {fakeController(1), lateClone(1, 5, 0.005, 1 + SETTLE_REQUESTS), fakeController(2)},
         {row(1, "192.168.1.50"), row(2, "192.168.1.51")},
         {OUTCOME_CONFLICT_AFTER_SENDING, OUTCOME_VERIFIED},
         EXIT_CONFLICT,
         {"x", "x"}},
        {"a clone of an unchanged row heard while verifying another",
         {fakeController(1), lateClone(1, 5, 0.005, 1 + SETTLE_REQUESTS), fakeController(2)},
         {row(1, "192.168.1.20"), row(2, "192.168.1.51")},
         {OUTCOME_CONFLICT, OUTCOME_VERIFIED},
         EXIT_CONFLICT,
         {"x"}},
        {"a receive cut short by a stop signal while verifying",
         {ignoring(1)},
         {row(1, "192.168.1.50"), row(3, "192.168.1.52")},
         {OUTCOME_NOT_CONFIRMED, OUTCOME_NOT_FOUND},
         EXIT_UNCONFIRMED,
         {"x"},
         8,
         false,
         false,
         -1,
         {3.5, true}},
        {"a receive cut short by a signal that asks no stop",
         {fakeController(1)},
         {row(1, "192.168.1.50")},
         {OUTCOME_VERIFIED},
         EXIT_OK,
         {"x"},
         2,
         false,
         false,
         -1,
         {0, false}},
    };
    for (const ApplyCase& c : cases) {
        Session run(c.controllers);
        ApplyOptions options;
        options.scan.quiet = 0.5;
        options.verifyTime = c.verifyTime;
        options.dryRun = c.dryRun;
        options.noVerify = c.noVerify;
        double stopAt = c.stopAt;
        if (stopAt >= 0) {
            run.scanner.wire.stop = [&run, stopAt]() { return run.net.clock >= stopAt; };
        }
        run.net.interruptAt = c.interrupt.at;
        run.net.signalStops = c.interrupt.stops;
        ApplyResult result = applyPlan(run.scanner, c.rows, options, run.sink());
        ASSERT_EQ(result.outcomes.size(), c.states.size()) << c.name;
        for (size_t i = 0; i < c.states.size(); ++i) {
            EXPECT_EQ(result.outcomes[i].state, c.states[i]) << c.name << ", row " << i;
            EXPECT_EQ(result.outcomes[i].line, c.rows[i].line) << c.name;
        }
        EXPECT_EQ(applyStatus(result), c.status) << c.name;
        std::vector<Setting> sent;   // distinct: verification sends what is not confirmed again
        for (const Setting& one : run.net.settings()) {
            bool again = false;
            for (const Setting& before : sent) {
                again = again || memcmp(&before, &one, sizeof one) == 0;
            }
            if (!again) {
                sent.push_back(one);
            }
        }
        ASSERT_EQ(sent.size(), c.settings.size()) << c.name;
        for (size_t i = 0; i < sent.size(); ++i) {
            if (c.settings[i] != "x") {
                EXPECT_EQ(ipText(sent[i].ip) + "/" + ipText(sent[i].gateway) + "/" + ipText(sent[i].mask),
                          c.settings[i])
                    << c.name;
            }
        }
        bool stops = stopAt >= 0 || (c.interrupt.at >= 0 && c.interrupt.stops);
        EXPECT_EQ(result.stopped, stops) << c.name;
        if (stopAt >= 0) {
            EXPECT_LT(run.net.clock, stopAt + 1.1) << c.name << ": stopped at the next wait";
        }
        if (c.interrupt.at >= 0 && c.interrupt.stops) {
            EXPECT_LT(run.net.clock, c.interrupt.at + 0.6) << c.name << ": stopped at the receive cut short";
            EXPECT_TRUE(result.summary) << c.name;
        }
        EXPECT_EQ(result.failure.call, FAILED_NONE) << c.name << ": a signal is no failure";
        for (const Outcome& o : result.outcomes) {
            EXPECT_EQ(o.senders.size(), isConflictState(o.state) ? 2u : 0u) << c.name << ": the senders of a conflict";
        }
        if (!c.states.empty() && c.states[0] == OUTCOME_VERIFIED && !c.settings.empty()) {
            EXPECT_LT(run.net.clock, 0.6 + c.verifyTime) << c.name << ": verification ends once confirmed";
        }
    }
}

// Heard on two links from one sender is one controller, no conflict; two senders are one.
TEST(Engine, ConflictsCountSendersNotLinks)
{
    FakeController other = fakeController(1);
    other.link = 1;
    Session run({fakeController(1), other, cloneOf(2, 7), fakeController(2)}, 2);
    ScanOptions options;
    options.quiet = 0.5;
    ASSERT_EQ(scanOnce(run.scanner, options, run.sink()).call, FAILED_NONE);
    std::vector<ScanFlag> flags = scanFlags(run.scanner);
    ASSERT_EQ(flags.size(), 2u);
    EXPECT_TRUE(flags[0].senders.empty());
    ASSERT_EQ(flags[1].senders.size(), 2u);
    EXPECT_EQ(ipText(flags[1].senders[0].address.data()), "127.0.0.8") << "in the order first heard";
    EXPECT_EQ(ipText(flags[1].senders[1].address.data()), "127.0.0.3");
    EXPECT_TRUE(flags[0].duplicateIp && flags[1].duplicateIp) << "both report 192.168.1.20";
}

// With planned MACs: done a settle time after the last of them answered; while one is missing,
// asked again until the quiet time after the last new one.
TEST(Engine, DiscoveryOfPlannedMacs)
{
    const struct {
        int k;
        double endsBy;
        size_t requests;
    } cases[] = {{1, 0.01 + SETTLE_S, 1 + SETTLE_REQUESTS}, {9, 2, 8}};
    for (const auto& c : cases) {
        Session run({fakeController(1)});
        ApplyOptions options;
        options.scan.quiet = 2;
        options.dryRun = true;
        applyPlan(run.scanner, {row(c.k, "192.168.1.50")}, options, run.sink());
        EXPECT_NEAR(run.net.clock, c.endsBy, 1e-6) << c.k;
        EXPECT_EQ(run.net.sent.size(), c.requests) << c.k;
    }
}

// Progress events come only when asked for, about as often as asked, and asking changes nothing
// on the wire; what they count ends where the run ends.
TEST(Engine, ProgressWhileWaiting)
{
    std::vector<size_t> traffic;
    for (double every : {0.0, 0.1}) {
        Session run({slow(1, 0.7), fakeController(2)});
        ApplyOptions options;
        options.scan.quiet = 0.5;
        options.scan.progressEvery = every;
        ApplyResult result = applyPlan(run.scanner, {row(1, "192.168.1.50")}, options, run.sink());
        ASSERT_EQ(result.outcomes.size(), 1u);
        EXPECT_EQ(result.outcomes[0].state, OUTCOME_VERIFIED);
        traffic.push_back(run.net.sent.size());
        std::vector<Event> planned, verifying;
        for (const Event& e : run.events) {
            if (e.kind == EVENT_PLANNED_WAIT) {
                planned.push_back(e);
            } else if (e.kind == EVENT_VERIFY_WAIT) {
                verifying.push_back(e);
            }
            EXPECT_NE(e.kind, EVENT_SCAN_WAIT) << "a plan's scan counts planned controllers";
        }
        if (every == 0) {
            EXPECT_TRUE(planned.empty() && verifying.empty());
            continue;
        }
        ASSERT_FALSE(planned.empty());
        EXPECT_EQ(planned.front().count, 0);
        EXPECT_EQ(planned.back().count, 1);
        EXPECT_EQ(planned.back().other, 1);
        ASSERT_GE(verifying.size(), 7u) << "0.7 s of verification, told every 0.1 s";
        EXPECT_NEAR(verifying.front().seconds, options.verifyTime, 1e-6);
        for (size_t i = 1; i < verifying.size(); ++i) {
            EXPECT_EQ(verifying[i].other, 1);
            EXPECT_GE(verifying[i - 1].seconds - verifying[i].seconds, every - 1e-6) << i;
        }
    }
    EXPECT_EQ(traffic[0], traffic[1]) << "the same datagrams with progress and without";

    Session scan({fakeController(1)});
    ScanOptions options;
    options.quiet = 0.5;
    options.progressEvery = 0.1;
    ASSERT_EQ(scanOnce(scan.scanner, options, scan.sink()).call, FAILED_NONE);
    const Event* last = nullptr;
    for (const Event& e : scan.events) {
        last = e.kind == EVENT_SCAN_WAIT ? &e : last;
    }
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->count, 1);
    EXPECT_LE(last->seconds, 0.1 + 1e-6) << "the last of the quiet time";
}

TEST(Engine, FailureKeepsCallAddressAndErrorNumber)
{
    Session run({fakeController(1)});
    run.net.sendError = 101;
    ApplyResult result = applyPlan(run.scanner, {row(1, "192.168.1.50")}, ApplyOptions(), run.sink());
    EXPECT_EQ(result.failure.call, FAILED_SEND);
    EXPECT_EQ(result.failure.error, 101);
    ASSERT_TRUE(result.failure.hasLocal);
    EXPECT_EQ(ipText(result.failure.local), "10.0.0.1");
    EXPECT_EQ(applyStatus(result), EXIT_NETWORK);
}

// The second setting fails: the first is told as sent, the one never reached as interrupted.
TEST(Engine, SendFailingPartWayKeepsTheSummary)
{
    Session run({fakeController(1), fakeController(2), fakeController(3)});
    run.net.sendError = 105;
    run.net.settingsBeforeError = 1;
    ApplyResult result =
        applyPlan(run.scanner, {row(1, "192.168.1.50"), row(2, "192.168.1.51"), row(3, "192.168.1.52")}, ApplyOptions(),
                  run.sink());
    EXPECT_EQ(result.failure.call, FAILED_SEND);
    EXPECT_EQ(result.failure.error, 105);
    EXPECT_TRUE(result.summary);
    ASSERT_EQ(result.outcomes.size(), 3u);
    EXPECT_EQ(result.outcomes[0].state, OUTCOME_SENT);
    EXPECT_EQ(result.outcomes[1].state, OUTCOME_INTERRUPTED);
    EXPECT_EQ(result.outcomes[2].state, OUTCOME_INTERRUPTED);
    EXPECT_EQ(run.net.settings().size(), 1u);
    EXPECT_EQ(applyStatus(result), EXIT_NETWORK);
}

TEST(Engine, InterfaceChoice)
{
    const std::vector<LocalInterface> listed = {local("lo", "127.0.0.1", LOOPBACK), local("eth0", "10.0.0.1"),
                                                local("eth0", "10.0.0.5"), local("eth1", "10.1.0.1")};
    const std::vector<LocalInterface> loOnly = {listed[0]};
    // As Windows lists its adapters: friendly names, adapter names, a VPN and a cable unplugged.
    const std::vector<LocalInterface> windows = {
        local("Loopback Pseudo-Interface 1", "127.0.0.1", LOOPBACK, "{6B1E-LO}"),
        local("Ethernet 2", "192.168.1.5", ETHERNET, "{A1B2-ETH2}"),
        local("Office VPN", "10.8.0.2", TUNNEL, "{C3D4-VPN}"),
        local("Wi-Fi", "172.16.0.9", DOWN, "{E5F6-WIFI}"),
    };
    const std::vector<LocalInterface> tunnelOnly = {windows[0], windows[2]};
    // Two interfaces whose names differ only in case: the exact one wins.
    const std::vector<LocalInterface> cased = {local("eth0", "10.0.0.1"), local("ETH0", "10.2.0.1")};
    const struct {
        const std::vector<LocalInterface>& listed;
        const char* where;
        Choice choice;
        std::vector<std::string> chosen;
    } cases[] = {
        {listed, "", CHOICE_AMBIGUOUS, {}},
        {loOnly, "", CHOICE_NONE, {}},
        {loOnly, "all", CHOICE_NONE, {}},
        {listed, "all", CHOSEN, {"10.0.0.1", "10.1.0.1"}},
        {listed, "10.0.0.5", CHOSEN, {"10.0.0.5"}},
        {listed, "eth1", CHOSEN, {"10.1.0.1"}},
        {listed, "ETH1", CHOSEN, {"10.1.0.1"}},
        {listed, "lo", CHOSEN, {"127.0.0.1"}},
        {listed, "eth9", CHOICE_UNKNOWN, {}},
        {listed, "eth", CHOICE_UNKNOWN, {}},
        {listed, "10.9.9.9", CHOICE_UNKNOWN, {}},
        {cased, "ETH0", CHOSEN, {"10.2.0.1"}},
        {cased, "eth0", CHOSEN, {"10.0.0.1"}},
        {cased, "Eth0", CHOSEN, {"10.0.0.1"}},
        // The tunnel and the adapter that is down are left out unnamed; only the tunnel is taken named.
        {windows, "", CHOSEN, {"192.168.1.5"}},
        {windows, "all", CHOSEN, {"192.168.1.5"}},
        {windows, "ethernet 2", CHOSEN, {"192.168.1.5"}},
        {windows, "{a1b2-eth2}", CHOSEN, {"192.168.1.5"}},
        {windows, "Office VPN", CHOSEN, {"10.8.0.2"}},
        {windows, "10.8.0.2", CHOSEN, {"10.8.0.2"}},
        {windows, "wi-fi", CHOICE_DOWN, {}},
        {windows, "172.16.0.9", CHOICE_DOWN, {}},
        {windows, "Ethernet", CHOICE_UNKNOWN, {}},
        {tunnelOnly, "", CHOICE_NONE, {}},
        {tunnelOnly, "all", CHOICE_NONE, {}},
    };
    for (const auto& c : cases) {
        std::vector<LocalInterface> chosen;
        std::vector<LocalInterface> candidates;
        EXPECT_EQ(chooseAmong(c.listed, c.where, &chosen, &candidates), c.choice) << c.where;
        std::vector<std::string> got;
        got.reserve(chosen.size());
        for (const LocalInterface& l : chosen) {
            got.push_back(ipText(l.address));
        }
        EXPECT_EQ(got, c.chosen) << c.where;
    }
    // The message's candidates: what is up and not loopback, the tunnel among them.
    std::vector<LocalInterface> chosen;
    std::vector<LocalInterface> candidates;
    (void)chooseAmong(windows, "", &chosen, &candidates);
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_STREQ(candidates[1].name, "Office VPN");
}

// Targets that cannot work refuse the whole plan: nothing sent, the scan request neither when the
// faulty row gave all three fields.
TEST(Engine, RefusalTable)
{
    FakeController other = fakeController(2);
    other.r.ip[3] = 30;   // 192.168.1.30
    const struct {
        const char* name;
        std::vector<PlanRow> rows;
        std::vector<AddressFault> faults;
        bool scans;   // the scan's requests went out (no setting, ever)
    } cases[] = {
        {"all given, bad: no scan",
         {row(1, "10.0.0.5", "192.168.1.254", "255.255.255.0")},
         {FAULT_GATEWAY_OUTSIDE},
         false},
        {"kept gateway outside", {row(1, "10.0.0.5")}, {FAULT_GATEWAY_OUTSIDE}, true},
        {"one bad row refuses all", {row(1, "192.168.1.50"), row(2, "192.168.1.0")}, {FAULT_IP_NETWORK}, true},
        {"in use by one that keeps it", {row(1, "192.168.1.30")}, {FAULT_IP_IN_USE}, true},
        {"in use by a planned one that keeps it",
         {row(1, "192.168.1.30"), row(2, "", "192.168.1.254")},
         {FAULT_IP_IN_USE},
         true},
        {"a swap", {row(1, "192.168.1.30"), row(2, "192.168.1.20")}, {}, true},
        {"this computer's", {row(1, "10.0.0.1", "0.0.0.0", "255.0.0.0")}, {FAULT_IP_LOCAL}, false},
        {"this computer's, not chosen", {row(1, "192.168.7.2", "0.0.0.0", "255.255.255.0")}, {FAULT_IP_LOCAL}, false},
    };
    for (const auto& c : cases) {
        Session run({fakeController(1), other});
        ApplyOptions options;
        options.scan.quiet = 0.5;
        options.dryRun = c.faults.empty();
        options.ownAddresses = {local("eth", "10.0.0.1"), local("wlan", "192.168.7.2")};
        ApplyResult result = applyPlan(run.scanner, c.rows, options, run.sink());
        std::vector<AddressFault> faults;
        for (const Refusal& r : result.refusals) {
            faults.push_back(r.fault);
        }
        EXPECT_EQ(faults, c.faults) << c.name;
        EXPECT_EQ(!run.net.sent.empty(), c.scans) << c.name;
        EXPECT_TRUE(run.net.settings().empty()) << c.name;
        EXPECT_EQ(applyStatus(result), c.faults.empty() ? EXIT_OK : EXIT_USAGE) << c.name;
    }
    Session run({fakeController(1)});
    ApplyResult kept = applyPlan(run.scanner, {row(1, "10.0.0.5")}, ApplyOptions(), run.sink());
    ASSERT_EQ(kept.refusals.size(), 1u);
    EXPECT_TRUE(kept.refusals[0].kept);
    EXPECT_EQ(ipText(kept.refusals[0].address), "192.168.1.1");
    EXPECT_EQ(kept.refusals[0].line, 2);
}

// The duplicate-IP check after a flood: linear in the rows (a quadratic one would take minutes
// here and hit the test's time limit), and exact.
TEST(Engine, DuplicateIpsAmongManyRows)
{
    const size_t rows = 200000;
    Scanner s;
    startScanner(s, Wire(), {});
    s.found.resize(rows);
    for (size_t i = 0; i < rows; ++i) {
        Response& r = s.found[i].response;
        const size_t ip = i < 10 ? rows : i;   // the first ten share one address, no other has it
        r.ip[0] = 10;
        r.ip[1] = (unsigned char)(ip >> 16);
        r.ip[2] = (unsigned char)(ip >> 8);
        r.ip[3] = (unsigned char)ip;
    }
    std::vector<ScanFlag> flags = scanFlags(s);
    ASSERT_EQ(flags.size(), rows);
    size_t flagged = 0;
    for (const ScanFlag& f : flags) {
        flagged += f.duplicateIp ? 1 : 0;
    }
    EXPECT_EQ(flagged, 10u);
    EXPECT_TRUE(flags[0].duplicateIp && flags[9].duplicateIp && !flags[10].duplicateIp);
}

// The runner over the network in memory: how each kind of job ends, and its exit status, the same
// for every front end.
TEST(Engine, JobTable)
{
    const struct {   // NOLINT(clang-analyzer-optin.performance.Padding): in the order a row reads
        const char* name;
        JobKind kind;
        std::vector<FakeController> controllers;
        std::vector<PlanRow> rows;
        JobEnd end;
        int status;
        int sendError = 0;
        double interruptAt = -1;   // a signal that asks to stop
    } cases[] = {
        {"a scan that finds", JOB_SCAN, {fakeController(1), fakeController(2)}, {}, JOB_FINISHED, EXIT_OK},
        {"a scan that finds nothing", JOB_SCAN, {}, {}, JOB_FINISHED, EXIT_NOT_FOUND},
        {"a scan that can't send", JOB_SCAN, {fakeController(1)}, {}, JOB_FAILED, EXIT_NETWORK, EPERM},
        {"a scan stopped", JOB_SCAN, {fakeController(1)}, {}, JOB_STOPPED, 128 + 2, 0, 0.05},
        {"verified", JOB_APPLY, {fakeController(1)}, {row(1, "192.168.1.50")}, JOB_FINISHED, EXIT_OK},
        {"not confirmed", JOB_APPLY, {ignoring(1)}, {row(1, "192.168.1.50")}, JOB_FINISHED, EXIT_UNCONFIRMED},
        {"a clone",
         JOB_APPLY,
         {fakeController(1), cloneOf(1, 5)},
         {row(1, "192.168.1.50")},
         JOB_FINISHED,
         EXIT_CONFLICT},
        {"refused", JOB_APPLY, {fakeController(1)}, {row(1, "192.168.1.255")}, JOB_FINISHED, EXIT_USAGE},
        {"an apply stopped while scanning",
         JOB_APPLY,
         {fakeController(1)},
         {row(1, "192.168.1.50")},
         JOB_STOPPED,
         128 + 2,
         0,
         0.005},
        {"an apply that can't send",
         JOB_APPLY,
         {fakeController(1)},
         {row(1, "192.168.1.50")},
         JOB_FAILED,
         EXIT_NETWORK,
         EPERM},
    };
    for (const auto& c : cases) {
        Session run(c.controllers);
        run.net.sendError = c.sendError;
        run.net.interruptAt = c.interruptAt;
        JobOrder order;
        order.kind = c.kind;
        order.options.scan.quiet = 0.5;
        order.options.verifyTime = 2;
        order.rows = c.rows;
        order.stopSignal = [&run]() { return run.net.stopAsked ? 2 : 0; };
        JobResult result = runJobOn(order, run.scanner, {}, {run.sink(), nullptr});
        EXPECT_EQ(result.end, c.end) << c.name;
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.status, jobStatus(order, result)) << c.name;
    }
}

// An undo file that can't be written ends the job before anything is opened or sent, a dry run
// too, with the status of a system failure.
// The undo file's place and the journal's are checked before the interfaces are even chosen; a
// dry run records no journal, so only its undo file's place counts.
TEST(Engine, JobUndoAndJournalPlacesCheckedFirst)
{
    const struct {
        const char* undo;
        const char* journal;
        bool dryRun;
        JobEnd end;
    } cases[] = {
        {"/nonexistent-folder/undo.csv", JOURNAL_NONE, false, JOB_UNDO_FAILED},
        {"/nonexistent-folder/undo.csv", JOURNAL_NONE, true, JOB_UNDO_FAILED},
        {"", "/nonexistent-folder/journal.jsonl", false, JOB_JOURNAL_FAILED},
        {"", "/nonexistent-folder/journal.jsonl", true, JOB_NO_INTERFACE},
    };
    for (const auto& c : cases) {
        JobOrder order;
        order.kind = JOB_APPLY;
        order.options.dryRun = c.dryRun;
        order.rows = {row(1, "192.168.1.50")};
        order.undoPath = c.undo;
        order.journal = c.journal;
        order.where = "no such interface";   // asked for only once both places are good
        std::vector<Event> events;
        JobResult result = runJob(order, {[&events](const Event& e) { events.push_back(e); }, nullptr});
        EXPECT_EQ(result.end, c.end) << c.undo << c.journal << c.dryRun;
        if (c.end != JOB_NO_INTERFACE) {
            EXPECT_EQ(result.status, EXIT_NETWORK);
            EXPECT_EQ(c.end == JOB_UNDO_FAILED ? result.undoError : result.journalError, ENOENT);
        }
        EXPECT_TRUE(events.empty());
        EXPECT_FALSE(result.apply.summary);
    }
}

// On the network in memory: the start entry before the setting, the end entry after it, in one
// chain.
TEST(Engine, JobRecordsStartAndEnd)
{
    char folder[] = "/tmp/job-journal-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string journal = std::string(folder) + "/j.jsonl";
    Session run({fakeController(1)});
    JobOrder order;
    order.kind = JOB_APPLY;
    order.options.scan.quiet = 0.5;
    order.rows = {row(1, "192.168.1.50")};
    order.journal = journal;
    order.journalRun.kind = "apply";
    order.journalRun.planFile = "p.csv";
    order.planBytes = "mac,ip\n";
    JobResult result = runJobOn(order, run.scanner, {}, {[](const Event&) {}, nullptr});
    EXPECT_EQ(result.status, EXIT_OK);
    JournalRead read = readJournal(journal, JournalFilter());
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(read.chain.result, CHAIN_INTACT);
    EXPECT_EQ(read.entries[0].entry, "start");
    EXPECT_EQ(read.entries[1].entry, "end");
    EXPECT_EQ(read.entries[0].planSha256, sha256Hex("mac,ip\n"));
    EXPECT_EQ(read.entries[1].rows.at(0).state, "verified");
    (void)remove(journal.c_str());
    (void)rmdir(folder);
}

// Each row's state as the engine decides it, in order: the rows not sent to before the first
// setting, a row to be sent as sending, then verified, or a conflict once a second sender is heard
// while verifying (here before its own controller took the setting).
TEST(Engine, RowStatesAsDecided)
{
    char folder[] = "/tmp/job-undo-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string undo = std::string(folder) + "/u.csv";
    Session run({fakeController(1), fakeController(2), slow(3, 1.5), lateClone(3, 7, 0.8)});
    JobOrder order;
    order.kind = JOB_APPLY;
    order.options.scan.quiet = 0.5;
    order.options.verifyTime = 2;
    order.rows = {row(1, "192.168.1.50"), row(2, "192.168.1.20"), row(3, "192.168.1.53"), row(9, "192.168.1.59")};
    order.undoPath = undo;
    JobResult result = runJobOn(order, run.scanner, {}, {run.sink(), nullptr});
    std::vector<std::string> told;
    for (const Event& e : run.events) {
        if (e.kind == EVENT_ROW_STATE || e.kind == EVENT_ROW_SENDING) {
            told.push_back(std::to_string(e.row) +
                           (e.kind == EVENT_ROW_SENDING ? " sending" : " state " + std::to_string(e.state)));
        } else if (e.kind == EVENT_UNDO_WRITTEN) {
            told.push_back("undo " + e.text);
        }
    }
    const std::vector<std::string> expected = {
        "undo " + undo,
        "0 sending",
        "1 state " + std::to_string(OUTCOME_UNCHANGED),
        "2 sending",
        "3 state " + std::to_string(OUTCOME_NOT_FOUND),
        "2 state " + std::to_string(OUTCOME_CONFLICT_AFTER_SENDING),   // the clone answers 0.8 s late
        "0 state " + std::to_string(OUTCOME_VERIFIED),                 // at the second round
    };
    EXPECT_EQ(told, expected);
    EXPECT_EQ(result.status, EXIT_CONFLICT);
    EXPECT_EQ(result.undoText, "mac,ip,gateway,mask\n00:1a:2b:3c:00:01,192.168.1.20,192.168.1.1,255.255.255.0\n"
                               "00:1a:2b:3c:00:03,192.168.1.20,192.168.1.1,255.255.255.0\n");
    (void)remove(undo.c_str());
    EXPECT_EQ(rmdir(folder), 0);
}
