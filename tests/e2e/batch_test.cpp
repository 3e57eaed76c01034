// brevindor-batch against the stand-in: one table of cases, each in a private namespace of its
// own. Each case states the exit status and checks the output and what reached the stand-in.
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <map>
#include <regex>

#include "e2e/harness.h"
#include "support/netns.h"
#include "support/utf16.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Check = std::function<void(const ToolRun&, const std::string& log)>;

const char* const VETH = "ip link add brv0 type veth peer name brv1 && ip link set brv0 up && ip link set brv1 up && "
                         "ip addr add 10.9.0.1/24 dev brv0 && ip addr add 10.9.0.2/24 dev brv1";
const std::vector<std::string> LO = {"--interface", "127.0.0.1", "--timeout", "0.5"};
const size_t PLAN_LIMIT = 1024UL * 1024;   // bytes

// A plan's bytes (NUL bytes too, for UTF-16), or none: rows write a text, or nullptr.
struct PlanBytes {
    bool given = false;
    std::string bytes;
    // cppcheck-suppress noExplicitConstructor
    PlanBytes(std::nullptr_t) {}
    // cppcheck-suppress noExplicitConstructor
    PlanBytes(const char* text) : given(true), bytes(text) {}
    // cppcheck-suppress noExplicitConstructor
    PlanBytes(std::string text) : given(true), bytes(std::move(text)) {}
};

struct Case {
    const char* name;
    const char* links;   // extra links in the namespace, or nullptr
    std::vector<Ctl> ctls;
    std::vector<std::string> standIn;   // further stand-in arguments
    PlanBytes plan;                     // written as plan.csv, or nullptr
    std::vector<std::string> args;
    int exitCode;
    Check check;
    RunControl control = {};
    std::vector<std::string> first = {};   // a run before, that must succeed (options as in args)
    std::string input = {};                // on standard input
    const char* portHeld = nullptr;        // the local address whose port another program holds during the run
    size_t segments = 0;                   // the stand-in runs behind this many segments (tools/segments.sh)
};

Ctl with(int k, const std::string& extra)
{
    Ctl c = ctl(k);
    c.extra = extra;
    return c;
}

Ctl holding(int k, const std::string& ip)
{
    Ctl c = ctl(k);
    c.ip = ip;
    return c;
}

// Controller k's MAC answering from controller other's sender address.
Ctl clone(int k, int other, const std::string& ip = "192.168.1.20")
{
    Ctl c = holding(k, ip);
    c.from = ctl(other).from;
    return c;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// RFC 4180 records back into fields.
Rows parseCsv(const std::string& text)
{
    Rows rows(1);
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    rows.pop_back();   // after the last CRLF
    return rows;
}

// Summary or table lines split at runs of two or more spaces.
Rows columns(const std::string& text)
{
    Rows rows;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> cells;
        size_t at = 0;
        while (at < line.size()) {
            size_t gap = line.find("  ", at);
            cells.push_back(line.substr(at, gap - at));
            at = gap == std::string::npos ? line.size() : line.find_first_not_of(' ', gap);
        }
        rows.push_back(cells);
    }
    return rows;
}

// Controller k behind segment n: it holds, and answers from, the far end's address 10.n.0.2.
Ctl behind(int k, int n)
{
    Ctl c = with(k, "behind=brv" + std::to_string(2 * n - 1));
    c.from = "10." + std::to_string(n) + ".0.2";
    c.ip = c.from;
    return c;
}

// The stand-in joined on both segments' far ends.
const std::vector<std::string> BOTH_SEGMENTS = {"--interface", "10.1.0.2", "--interface", "10.2.0.2"};

// Checks a scan's CSV: one row for each of macs, in this order, with these sender and local
// addresses, each heard alike often and without conflict (one that answered on both links would
// be heard twice as often, from two senders).
Check heardFrom(const Rows& expected)
{
    return [expected](const ToolRun& run, const std::string&) {
        Rows rows = parseCsv(run.out);
        ASSERT_EQ(rows.size(), expected.size() + 1) << run.out;
        const std::vector<std::string>& names = rows[0];
        auto column = [&names](const char* name) {
            return std::find(names.begin(), names.end(), name) - names.begin();
        };
        for (size_t i = 0; i < expected.size(); ++i) {
            const std::vector<std::string>& row = rows[i + 1];
            ASSERT_EQ(row.size(), names.size()) << run.out;
            EXPECT_EQ((Rows::value_type{row[column("mac")], row[column("sender")], row[column("local")]}), expected[i])
                << run.out;
            EXPECT_EQ(row[column("answers")], rows[1][column("answers")]) << "one answer a request: " << run.out;
            EXPECT_EQ(row[column("conflict")], "") << run.out;
        }
    };
}

// The RESULT column of a summary, row by row.
std::vector<std::string> results(const std::string& out)
{
    Rows rows = columns(out);
    std::vector<std::string> found;
    if (rows.empty()) {
        return found;
    }
    size_t col = 0;
    while (col < rows[0].size() && rows[0][col] != "RESULT") {
        ++col;
    }
    for (size_t i = 1; i < rows.size(); ++i) {
        found.push_back(col < rows[i].size() ? rows[i][col] : "");
    }
    return found;
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// Lines holding what, each counted once.
size_t distinctLines(const std::string& text, const std::string& what)
{
    std::vector<std::string> seen;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (line.find(what) != std::string::npos && std::find(seen.begin(), seen.end(), line) == seen.end()) {
            seen.push_back(line);
        }
    }
    return seen.size();
}

const std::string SETTING_PREFIX = " 28 56 4b 44 41 01 00 01 02";

// Whether the log holds the setting of controller k's MAC to these addresses.
bool sentTo(const std::string& log, int k, const char* ip, const char* gw = "192.168.1.1",
            const char* mask = "255.255.255.0")
{
    return log.find(settingLogLine(ctl(k).mac, ip, gw, mask)) != std::string::npos;
}

void nothingSent(const std::string& log)
{
    EXPECT_EQ(count(log, SETTING_PREFIX), 0u) << log;
}

Check states(const std::vector<std::string>& expected)
{
    return [expected](const ToolRun& run, const std::string&) { EXPECT_EQ(results(run.out), expected) << run.out; };
}

// Standard error on a terminal: the status line starts with each of shown in turn, the last draw
// is blanked out, then comes the line starting with next; standard output never gets it.
Check statusLine(const std::vector<std::string>& shown, const std::string& next)
{
    return [shown, next](const ToolRun& run, const std::string&) {
        size_t at = 0;
        for (const std::string& text : shown) {
            size_t found = &text == &shown.back() ? run.err.rfind("\r" + text) : run.err.find("\r" + text, at);
            ASSERT_TRUE(found != std::string::npos && found >= at) << text << " after " << at << " in " << run.err;
            at = found;
        }
        size_t blanks = run.err.find('\r', at + 1);
        size_t end = run.err.find_first_not_of(' ', blanks + 1);
        ASSERT_NE(end, std::string::npos) << run.err;
        EXPECT_EQ(run.err[end], '\r') << run.err.substr(at);
        EXPECT_GE(end - blanks - 1, shown.back().size()) << "blanks over the whole last draw";
        EXPECT_EQ(run.err.compare(end + 1, next.size(), next), 0) << run.err.substr(at);
        EXPECT_EQ(run.out.find('\r'), std::string::npos) << run.out;
    };
}

RunControl errorsOnTerminal()
{
    RunControl c;
    c.errorsOnTerminal = true;
    return c;
}

// Input, output and errors on one terminal: all of it in out, "\n" as "\r\n".
RunControl onTerminal()
{
    RunControl c;
    c.terminal = true;
    return c;
}

Check usageError(const std::string& words)
{
    return [words](const ToolRun& run, const std::string& log) {
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(words), std::string::npos) << run.err;
        EXPECT_EQ(log, "");
    };
}

// Gr\u00f6\u00dfe \u6cf5\u7ad9: two- and three-byte UTF-8, 14 bytes in 10 columns.
const std::string GROESSE = "Gr\xc3\xb6\xc3\x9f"
                            "e \xe6\xb3\xb5\xe7\xab\x99";
const std::string GROESSE_HEX = "4772c3b6c39f6520e6b3b5e7ab99";

const char* const FIVE_ROW_PLAN = "# commissioning of line 4\n"
                                  "mac,ip,gateway,mask\n"
                                  "00:1a:2b:3c:00:01,192.168.1.101,192.168.1.254,255.255.0.0\n"
                                  "00:1a:2b:3c:00:02,192.168.1.102,,\n"
                                  "00.1A.2B.3C.00.03,192.168.1.20,192.168.1.1,255.255.255.0\n"
                                  "00:1a:2b:3c:00:09,192.168.1.109,,\n"
                                  "00:1a:2b:3c:00:04,192.168.1.104,,\n";

// The watch's scene, one controller an event, asked every 0.25 s for 2.2 s (9 asks), gone after 2:
// 1 answers throughout, and a clone of its MAC from 127.0.0.9 from its 6th request on (conflict);
// 2 is off for its 3rd to 5th requests (gone at the 4th ask, back at the 6th); 3 takes a new IP
// and name at its 4th (changed); 4 is first on at its 3rd (appeared); 5 takes the IP of 1 at its
// 7th (changed, and a duplicate IP for both).
Ctl cloneOfOne()
{
    Ctl c = holding(1, "192.168.1.21");
    c.from = "127.0.0.9";
    c.name = "Clone";
    c.extra = "start=6";
    return c;
}
const std::vector<Ctl> WATCHED = {
    holding(1, "192.168.1.21"),
    [] {
        Ctl c = holding(2, "192.168.1.22");
        c.extra = "silent=3-5";
        return c;
    }(),
    [] {
        Ctl c = holding(3, "192.168.1.23");
        c.extra = "change=4,newip=192.168.1.50,newname=" + GROESSE;
        return c;
    }(),
    [] {
        Ctl c = holding(4, "192.168.1.24");
        c.extra = "start=3";
        return c;
    }(),
    [] {
        Ctl c = holding(5, "192.168.1.25");
        c.extra = "change=7,newip=192.168.1.21";
        return c;
    }(),
    cloneOfOne(),
};
const std::vector<std::string> WATCH = {"watch",        "--interface", "127.0.0.1",  "--every", "0.25",
                                        "--gone-after", "2",           "--max-time", "2.2"};
// The events of the scene as "event MAC", ask by ask: in any order within an ask (an answer may
// come after the ask is judged), the asks in order.
const std::vector<std::vector<std::string>> WATCH_ASKS = {
    {"present 00.1a.2b.3c.00.01", "present 00.1a.2b.3c.00.02", "present 00.1a.2b.3c.00.03",
     "present 00.1a.2b.3c.00.05"},
    {"appeared 00.1a.2b.3c.00.04"},
    {"changed 00.1a.2b.3c.00.03", "gone 00.1a.2b.3c.00.02"},
    {"conflict 00.1a.2b.3c.00.01", "back 00.1a.2b.3c.00.02"},
    {"changed 00.1a.2b.3c.00.05", "conflict 00.1a.2b.3c.00.01", "conflict 00.1a.2b.3c.00.05"},
};

// Checks what every format of the scene shows: the events ask by ask, the tally last on standard
// error, and one 16-byte request an ask (the tally's count) in the stand-in's log, nothing else.
void watchedScene(const std::vector<std::string>& told, const ToolRun& run, const std::string& log)
{
    size_t at = 0;
    for (const std::vector<std::string>& ask : WATCH_ASKS) {
        ASSERT_LE(at + ask.size(), told.size()) << run.out;
        std::vector<std::string> got(told.begin() + (long)at, told.begin() + (long)(at + ask.size()));
        std::vector<std::string> expected = ask;
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected) << run.out;
        at += ask.size();
    }
    EXPECT_EQ(at, told.size()) << run.out;
    size_t asks = count(log, REQUEST_LOG);
    EXPECT_EQ(asks * REQUEST_LOG.size(), log.size()) << "requests only: " << log;
    EXPECT_GE(asks, 8u) << "0.25 s apart for 2.2 s";
    std::string tally = "brevindor-batch: 4 present, 1 appeared, 1 gone, 1 back, 2 changed, 3 conflicts; " +
                        std::to_string(asks) + " asks\n";
    EXPECT_EQ(run.err, tally) << "the tally alone on standard error";
}

const Case CASES[] =
    {
        // An answer is whole up to the node name, 40 bytes; one byte more is the name's first. A
        // shorter one is no answer.
        {"ScanAnswersFromFortyBytes",
         nullptr,
         {with(1, "size=39"), with(2, "size=40"), with(3, "size=41"), with(4, "size=0")},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "csv"},
         0,
         [](const ToolRun& run, const std::string&) {
             Rows rows = parseCsv(run.out);
             ASSERT_EQ(rows.size(), 3u) << run.out;
             EXPECT_EQ((std::vector<std::string>{rows[1][0], rows[1][4], rows[2][0], rows[2][4]}),
                       (std::vector<std::string>{ctl(2).mac, "", ctl(3).mac, "H"}))
                 << run.out;
         }},
        {"ScanJson",
         nullptr,
         {ctl(1), with(2, "repeat=2"), with(3, "namehex=41012242c3a9ff")},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "json"},
         0,
         [](const ToolRun& run, const std::string&) {
             nlohmann::json doc = nlohmann::json::parse(run.out);   // throws, failing the test, on anything else
             ASSERT_EQ(doc.size(), 3u);
             for (int k = 1; k <= 3; ++k) {
                 const nlohmann::json& c = doc[k - 1];
                 EXPECT_EQ(c["mac"], ctl(k).mac);
                 EXPECT_EQ(c["ip"], "192.168.1.20");
                 EXPECT_EQ(c["gateway"], "192.168.1.1");
                 EXPECT_EQ(c["mask"], "255.255.255.0");
                 EXPECT_EQ(c["version"], "1.0.0.8");
                 EXPECT_EQ(c["node_id"], "4343");
                 EXPECT_EQ(c["node_id_type"], "0900");
                 EXPECT_EQ(c["sender"], ctl(k).from);
                 EXPECT_EQ(c["local"], "127.0.0.1");
                 EXPECT_EQ(c["answers"], (k == 2 ? 2 : 1) * 4) << "four requests early in the scan";
             }
             EXPECT_EQ(doc[0]["node_name"], "Hall-North");
             // A control byte escaped, valid UTF-8 kept, a stray byte replaced.
             EXPECT_EQ(doc[2]["node_name"], "A\x01\"B\xc3\xa9\xef\xbf\xbd");
             EXPECT_EQ(run.out.find_first_of("\x01\xc3"), std::string::npos) << "raw device bytes in the JSON";
         }},
        {"ScanCsv",
         nullptr,
         {ctl(1), with(2, "namehex=4e2c22410a"), with(3, "namehex=" + GROESSE_HEX),
          with(4, "namehex=3d48595045524c494e4b2822687474703a2f2f78222c22792229"), with(5, "name=A \"q\"")},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "csv"},
         0,
         [](const ToolRun& run, const std::string&) {
             EXPECT_EQ(run.out.rfind("mac,", 0), 0u) << "no byte-order mark unless asked";
             Rows rows = parseCsv(run.out);
             ASSERT_EQ(rows.size(), 6u) << run.out;
             EXPECT_EQ(rows[0],
                       (std::vector<std::string>{"mac", "ip", "gateway", "mask", "node_name", "version", "node_id",
                                                 "node_id_type", "sender", "local", "answers", "conflict", "senders"}));
             EXPECT_EQ(rows[1], (std::vector<std::string>{ctl(1).mac, "192.168.1.20", "192.168.1.1", "255.255.255.0",
                                                          "Hall-North", "1.0.0.8", "4343", "0900", ctl(1).from,
                                                          "127.0.0.1", "4", "duplicate IP 192.168.1.20", ""}));
             EXPECT_EQ(rows[2][4], "N,\"A?");   // comma and quote kept by quoting, the line feed made safe
             EXPECT_EQ(rows[3][4], GROESSE);
             EXPECT_EQ(rows[4][4], "'=HYPERLINK(\"http://x\",\"y\")");   // no formula for a spreadsheet
             EXPECT_NE(run.out.find(",\"A \"\"q\"\"\","), std::string::npos) << "a quote alone is quoted too";
         }},
        {"ScanTable",
         nullptr,
         {ctl(1), with(2, "namehex=" + GROESSE_HEX), with(3, "namehex=e6b3b5e7ab99c29b")},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan"},
         0,
         [](const ToolRun& run, const std::string&) {
             Rows rows = columns(run.out);
             ASSERT_EQ(rows.size(), 4u);
             EXPECT_EQ(rows[0][0], "MAC");
             EXPECT_EQ(rows[1],
                       (std::vector<std::string>{ctl(1).mac, "192.168.1.20", "192.168.1.1", "255.255.255.0",
                                                 "Hall-North", "1.0.0.8", "4343 Morvesta", "0900 K4Z", ctl(1).from,
                                                 "127.0.0.1", "4", "! duplicate IP 192.168.1.20"}));
             EXPECT_EQ(rows[2][4], GROESSE);
             EXPECT_EQ(rows[3][4], "\xe6\xb3\xb5\xe7\xab\x99?");
             // Aligned on a terminal: the next column starts at the same column in every row, so its
             // byte offset is larger by the name's bytes beyond its width (14 bytes in 10 columns, 7 in 5).
             const size_t extra[] = {0, 0, 4, 2};
             size_t at = run.out.find("VERSION"), line = 0;
             for (size_t start = 0; start < run.out.size(); start = run.out.find('\n', start) + 1, ++line) {
                 EXPECT_EQ(run.out.find(line == 0 ? "VERSION" : "1.0.0.8", start) - start, at + extra[line]) << run.out;
             }
         }},
        {"ScanNothingFound",
         nullptr,
         {},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "json"},
         1,
         [](const ToolRun& run, const std::string&) { EXPECT_EQ(run.out, "[]\n"); }},
        {"NoInterfaceToChoose", nullptr, {ctl(1)}, {}, nullptr, {"scan"}, 2, usageError("--interface")},
        {"TwoInterfacesNeedAChoice",
         VETH,
         {ctl(1)},
         {},
         nullptr,
         {"scan"},
         2,
         [](const ToolRun& run, const std::string& log) {
             usageError("10.9.0.1 brv0")(run, log);
             EXPECT_NE(run.err.find("10.9.0.2 brv1"), std::string::npos) << run.err;
         }},
        {"UnknownInterface", nullptr, {ctl(1)}, {}, nullptr, {"scan", "--interface", "eth9"}, 2, usageError("'eth9'")},
        // A point-to-point link counts as a tunnel: listed, but not taken by "all".
        {"TunnelOnlyWhenNamed",
         "ip tuntap add brvt0 mode tun && ip link set brvt0 up && ip addr add 10.8.0.1/24 dev brvt0",
         {ctl(1)},
         {},
         nullptr,
         {"scan", "--interface", "all"},
         2,
         usageError("  10.8.0.1 brvt0 (a tunnel: used only when named)\n")},
        {"DownInterfaceRefused",
         "ip link add brv0 type veth peer name brv1 && ip addr add 10.9.0.1/24 dev brv0",
         {ctl(1)},
         {},
         nullptr,
         {"scan", "--interface", "BRV0"},
         2,
         usageError("the interface 'BRV0' is down")},
        {"UnknownAddress",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         {"scan", "--interface", "10.1.1.1"},
         2,
         usageError("10.1.1.1")},
        {"InterfaceByName",
         VETH,
         {ctl(1)},
         {"--interface", "10.9.0.1"},
         nullptr,
         {"scan", "--interface", "brv0", "--timeout", "0.5", "--format", "csv"},
         0,
         [](const ToolRun& run, const std::string& log) {
             Rows rows = parseCsv(run.out);
             ASSERT_EQ(rows.size(), 2u) << run.out << run.err;
             EXPECT_EQ(rows[1][9], "10.9.0.1");
             std::string request =
                 logLine({0x56, 0x4b, 0x44, 0x41, 0x01, 0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, "10.9.0.1:20662");
             EXPECT_EQ(log, request + request + request + request) << "four requests early in the scan";
         }},
        {"AllInterfaces",
         VETH,
         {ctl(1), ctl(2)},
         {"--interface", "10.9.0.1", "--interface", "10.9.0.2"},
         nullptr,
         {"scan", "--interface", "all", "--timeout", "0.5", "--format", "json"},
         0,
         [](const ToolRun& run, const std::string& log) {
             nlohmann::json doc = nlohmann::json::parse(run.out);
             ASSERT_EQ(doc.size(), 2u);   // one row a controller, however many answers
             EXPECT_GE(doc[0]["answers"].get<int>(), 2);
             EXPECT_NE(log.find("10.9.0.1:20662 16"), std::string::npos) << log;
             EXPECT_NE(log.find("10.9.0.2:20662 16"), std::string::npos) << log;
         }},
        {"SetKeepsGatewayAndMask",
         nullptr,
         {ctl(1), ctl(2)},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00:1A:2B:3C:00:02", "--ip", "192.168.1.50"},
         0,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_EQ(results(run.out), std::vector<std::string>{"verified"});
             EXPECT_EQ(count(log, SETTING_PREFIX), 1u);
             EXPECT_TRUE(sentTo(log, 2, "192.168.1.50")) << log;
         }},
        // Two seconds without the MAC leave room for several requests however busy the machine.
        {"SetNotFound",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         {"--interface", "127.0.0.1", "--timeout", "2", "set", "--mac", "00.1a.2b.3c.00.09", "--mask", "255.255.0.0"},
         1,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_EQ(results(run.out), std::vector<std::string>{"not found"});
             EXPECT_GE(count(log, REQUEST_LOG), 2u) << "asked again while the MAC is missing";
             EXPECT_EQ(count(log, REQUEST_LOG) * REQUEST_LOG.size(), log.size()) << "requests only";
         }},
        {"SetIgnored",
         nullptr,
         {with(1, "settings=ignore")},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00.1a.2b.3c.00.01", "--ip", "192.168.1.50", "--verify-time",
                                       "1.5"},
         4,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_EQ(columns(run.out)[1][5], "192.168.1.20") << "what the controller reports now";
             states({"not confirmed"})(run, log);
             EXPECT_GE(count(log, REQUEST_LOG), 2u) << "asked again while verifying";
         }},
        {"SetAppliedLate",
         nullptr,
         {with(1, "setdelay=1200")},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00.1a.2b.3c.00.01", "--ip", "192.168.1.50", "--verify-time",
                                       "5"},
         0,
         states({"verified"})},
        {"SetAppliedTooLate",
         nullptr,
         {with(1, "setdelay=3000")},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00.1a.2b.3c.00.01", "--ip", "192.168.1.50", "--verify-time",
                                       "1"},
         4,
         states({"not confirmed"})},
        {"SetNoVerify",
         nullptr,
         {with(1, "settings=ignore")},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00.1a.2b.3c.00.01", "--gateway", "192.168.1.2", "--no-verify"},
         0,
         [](const ToolRun& run, const std::string& log) {
             states({"sent"})(run, log);
             std::string setting = settingLogLine(ctl(1).mac, "192.168.1.20", "192.168.1.2", "255.255.255.0");
             ASSERT_GE(log.size(), setting.size());
             EXPECT_EQ(log.substr(log.size() - setting.size()), setting)
                 << "the setting once, after the requests alone";
             EXPECT_EQ(count(log, REQUEST_LOG) * REQUEST_LOG.size() + setting.size(), log.size()) << log;
         }},
        {"ApplyFiveRowsEveryState",
         nullptr,
         {ctl(1), ctl(2), ctl(3), with(4, "settings=ignore")},
         {},
         FIVE_ROW_PLAN,
         LO + std::vector<std::string>{"apply", "plan.csv", "--verify-time", "1.5"},
         4,
         [](const ToolRun& run, const std::string& log) {
             states({"verified", "verified", "unchanged", "not found", "not confirmed"})(run, log);
             EXPECT_NE(run.err.find("\nbrevindor-batch: 2 verified, 1 unchanged, 1 not found, 1 not confirmed\n"),
                       std::string::npos)
                 << run.err;
             Rows rows = columns(run.out);
             EXPECT_EQ(rows[1][0], "3") << "plan line numbers, the header being line 2 after a comment";
             EXPECT_EQ(distinctLines(log, SETTING_PREFIX), 3u) << "one setting each for rows 1, 2 and 5";
             EXPECT_TRUE(sentTo(log, 2, "192.168.1.102"));
         }},
        {"ApplyCsvBeforeAndAfter",
         nullptr,
         {ctl(1), ctl(2), ctl(3)},
         {},
         FIVE_ROW_PLAN,
         LO + std::vector<std::string>{"apply", "plan.csv", "--format", "csv"},
         1,
         [](const ToolRun& run, const std::string&) {
             Rows rows = parseCsv(run.out);
             ASSERT_EQ(rows.size(), 6u) << run.out;
             EXPECT_EQ(rows[0], (std::vector<std::string>{"line", "mac", "state", "ip", "gateway", "mask", "before_ip",
                                                          "before_gateway", "before_mask", "after_ip", "after_gateway",
                                                          "after_mask", "senders"}));
             EXPECT_EQ(rows[1],
                       (std::vector<std::string>{"3", "00.1a.2b.3c.00.01", "verified", "192.168.1.101", "192.168.1.254",
                                                 "255.255.0.0", "192.168.1.20", "192.168.1.1", "255.255.255.0",
                                                 "192.168.1.101", "192.168.1.254", "255.255.0.0", ""}));
             EXPECT_EQ(rows[4], (std::vector<std::string>{"6", "00.1a.2b.3c.00.09", "not found", "192.168.1.109", "",
                                                          "", "", "", "", "", "", "", ""}));
         }},
        {"SetJson",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00.1a.2b.3c.00.01", "--ip", "192.168.1.50", "--format", "json"},
         0,
         [](const ToolRun& run, const std::string&) {
             nlohmann::json doc = nlohmann::json::parse(run.out);
             ASSERT_EQ(doc.size(), 1u);
             EXPECT_TRUE(doc[0]["line"].is_null());
             EXPECT_EQ(doc[0]["state"], "verified");
             EXPECT_EQ(doc[0]["before_ip"], "192.168.1.20");
             EXPECT_EQ(doc[0]["after_ip"], "192.168.1.50");
             EXPECT_EQ(doc[0]["after_mask"], "255.255.255.0");
         }},
        {"UndoPutsBack",
         nullptr,
         {ctl(1), holding(2, "192.168.1.30"), holding(3, "192.168.1.40")},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.101,192.168.1.254,255.255.0.0\n"
         "00:1a:2b:3c:00:02,192.168.1.102,,\n",
         LO + std::vector<std::string>{"apply", "undo.csv"},
         0,
         [](const ToolRun& run, const std::string& log) {
             states({"verified", "verified"})(run, log);
             EXPECT_TRUE(sentTo(log, 1, "192.168.1.20")) << log;
             EXPECT_TRUE(sentTo(log, 2, "192.168.1.30"));
         },
         {},
         LO + std::vector<std::string>{"apply", "plan.csv", "--undo", "undo.csv"}},
        {"UndoNotWritable",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00.1a.2b.3c.00.01", "--ip", "192.168.1.50",
                                       "--undo", "no/u.csv"},
         3,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_NE(run.err.find("can't write the undo file no/u.csv: No such file or directory; nothing sent"),
                       std::string::npos)
                 << run.err;
             nothingSent(log);
         }},
        {"InterruptedInVerification",
         nullptr,
         {with(1, "settings=ignore")},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.101,,\n"
         "00:1a:2b:3c:00:09,192.168.1.109,,\n",
         LO + std::vector<std::string>{"apply", "plan.csv", "--verify-time", "20"},
         130,
         [](const ToolRun& run, const std::string& log) {
             states({"not confirmed", "not found"})(run, log);
             EXPECT_LT(run.seconds, 5.0);
             EXPECT_NE(run.err.find("stopped by signal 2"), std::string::npos) << run.err;
         },
         {"sent 1 setting", SIGINT}},
        {"ApplyDryRun",
         nullptr,
         {ctl(1), ctl(2), ctl(3), ctl(4)},
         {},
         FIVE_ROW_PLAN,
         LO + std::vector<std::string>{"apply", "--dry-run", "plan.csv"},
         1,
         [](const ToolRun& run, const std::string& log) {
             states({"would send", "would send", "unchanged", "not found", "would send"})(run, log);
             nothingSent(log);
         }},
        {"ApplyPlanErrors",
         nullptr,
         {ctl(1)},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.101,,\n"
         "00:1a:2b:3c:00:0g,192.168.1.102,,\n"
         "00:1a:2b:3c:00:01,192.168.1.103,,\n"
         "00:1a:2b:3c:00:04,192.168.1.101,192.168.001.1,\n"
         "00:1a:2b:3c:00:05,192.168.1.105,,,x\n",
         LO + std::vector<std::string>{"apply", "plan.csv"},
         2,
         [](const ToolRun& run, const std::string& log) {
             usageError("plan.csv:3: bad MAC address '00:1a:2b:3c:00:0g'")(run, log);
             for (const char* line : {"plan.csv:4: MAC", "plan.csv:5: bad gateway", "plan.csv:5: IP address",
                                      "plan.csv:6: more fields than the header's 4"}) {
                 EXPECT_NE(run.err.find(line), std::string::npos) << line << "\n" << run.err;
             }
         }},
        {"ApplySpreadsheetPlan",
         nullptr,
         {ctl(1), ctl(2)},
         {},
         "\xef\xbb\xbfNotes;MAC;IP;Mask\r\n"
         "\"hall 2; \"\"east\"\"\";00:1A:2B:3C:00:01;192.168.1.101;\"255.255.0.0\"\r\n"
         "spare;001A2B3C0002;;\r\n",
         LO + std::vector<std::string>{"apply", "plan.csv", "--verify-time", "1.5"},
         0,
         [](const ToolRun& run, const std::string& log) {
             states({"verified", "unchanged"})(run, log);
             EXPECT_EQ(count(log, SETTING_PREFIX), 1u) << log;
             EXPECT_TRUE(sentTo(log, 1, "192.168.1.101", "192.168.1.1", "255.255.0.0")) << log;
         }},
        {"ApplyRefusesAddressInUseAndBadRows",
         nullptr,
         {ctl(1), holding(2, "192.168.1.30")},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.30,,\n"
         "00:1a:2b:3c:00:03,10.0.0.255,10.0.0.1,255.255.255.0\n",
         LO + std::vector<std::string>{"apply", "plan.csv"},
         2,
         [](const ToolRun& run, const std::string& log) {
             usageError("plan.csv:3: 00.1a.2b.3c.00.03: IP 10.0.0.255 is the broadcast address")(run, log);
         }},
        {"ApplyRefusesAddressInUse",
         nullptr,
         {ctl(1), holding(2, "192.168.1.30")},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.30,,\n",
         LO + std::vector<std::string>{"apply", "plan.csv"},
         2,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_NE(run.err.find("plan.csv:2: 00.1a.2b.3c.00.01: IP 192.168.1.30 is in use by 00.1a.2b.3c.00.02"),
                       std::string::npos)
                 << run.err;
             EXPECT_EQ(run.out, "");
             nothingSent(log);
         }},
        {"ReplaceRefusedWhileTheOldOneAnswers",
         nullptr,
         {ctl(1), holding(2, "192.168.1.90")},
         {},
         "mac,ip,gateway,mask\n00:1a:2b:3c:00:01,192.168.1.21,192.168.1.1,255.255.255.0\n",
         LO + std::vector<std::string>{"replace", "--old", "00:1a:2b:3c:00:01", "--new", "00:1a:2b:3c:00:02", "--from",
                                       "plan.csv", "--settle", "0"},
         5,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_NE(
                 run.err.find("brevindor-batch: the controller 00.1a.2b.3c.00.01 still answers (from 127.0.0.2, IP "
                              "192.168.1.20): unplug it first, or two controllers would claim one address; nothing "
                              "sent\n"),
                 std::string::npos)
                 << run.err;
             EXPECT_EQ(run.out, "");
             nothingSent(log);
         }},
        {"ReplaceOnceTheOldOneIsGone",
         nullptr,
         {holding(2, "192.168.1.90")},
         {},
         "mac,ip,gateway,mask\n00:1a:2b:3c:00:01,192.168.1.21,192.168.1.254,255.255.0.0\n",
         LO + std::vector<std::string>{"replace", "--old", "00:1a:2b:3c:00:01", "--new", "00:1a:2b:3c:00:02", "--from",
                                       "plan.csv", "--settle", "0"},
         0,
         [](const ToolRun& run, const std::string& log) {
             states({"verified"})(run, log);
             EXPECT_EQ(count(log, SETTING_PREFIX), 1u) << log;
             EXPECT_TRUE(sentTo(log, 2, "192.168.1.21", "192.168.1.254", "255.255.0.0")) << log;
         }},
        {"ReplaceWhenTheNewOneIsMissing",
         nullptr,
         {},
         {},
         "mac,ip\n00:1a:2b:3c:00:01,192.168.1.21\n",
         LO + std::vector<std::string>{"replace", "--old", "00:1a:2b:3c:00:01", "--new", "00:1a:2b:3c:00:02", "--from",
                                       "plan.csv", "--settle", "0"},
         1,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_NE(run.err.find("no controller with MAC 00.1a.2b.3c.00.02 answered"), std::string::npos) << run.err;
             nothingSent(log);
         }},
        {"ReplaceWithoutTheOldOnesValues",
         nullptr,
         {holding(2, "192.168.1.90")},
         {},
         "mac,ip\n00:1a:2b:3c:00:05,192.168.1.25\n",
         LO + std::vector<std::string>{"replace", "--old", "00:1a:2b:3c:00:01", "--new", "00:1a:2b:3c:00:02", "--from",
                                       "plan.csv"},
         2,
         usageError("brevindor-batch: plan.csv has no row for 00.1a.2b.3c.00.01; nothing sent\n")},
        {"ApplySwap",
         nullptr,
         {ctl(1), holding(2, "192.168.1.30")},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.30,,\n"
         "00:1a:2b:3c:00:02,192.168.1.20,,\n",
         LO + std::vector<std::string>{"apply", "plan.csv"},
         0,
         states({"verified", "verified"})},
        {"SetRefusesKeptGateway",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00:1a:2b:3c:00:01", "--ip", "10.0.0.5"},
         2,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_NE(
                 run.err.find("gateway 192.168.1.1 is outside the subnet 10.0.0.0/24 of IP 10.0.0.5 (kept from the "
                              "controller; give --gateway, or --gateway 0.0.0.0 for none)"),
                 std::string::npos)
                 << run.err;
             EXPECT_EQ(run.out, "");
             nothingSent(log);
         }},
        {"ScanShowsACloneAndADuplicateIp",
         nullptr,
         {holding(1, "192.168.1.150"), clone(1, 3, "192.168.1.150"), holding(2, "192.168.1.150"),
          holding(4, "192.168.1.104")},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "json"},
         0,
         [](const ToolRun& run, const std::string&) {
             nlohmann::json doc = nlohmann::json::parse(run.out);
             ASSERT_EQ(doc.size(), 3u) << run.out;
             EXPECT_EQ(doc[0]["conflict"], "MAC answered from 127.0.0.2 (IP 192.168.1.150) and 127.0.0.4 (IP "
                                           "192.168.1.150); duplicate IP 192.168.1.150");
             EXPECT_EQ(doc[0]["senders"], nlohmann::json::parse(R"([
             {"address": "127.0.0.2", "ip": "192.168.1.150", "node_name": "Hall-North"},
             {"address": "127.0.0.4", "ip": "192.168.1.150", "node_name": "Hall-North"}])"));
             EXPECT_EQ(doc[1]["conflict"], "duplicate IP 192.168.1.150");
             EXPECT_EQ(doc[1]["senders"], nlohmann::json::array());
             EXPECT_EQ(doc[2]["conflict"], "");
             EXPECT_NE(run.err.find("warning: 00.1a.2b.3c.00.01: MAC answered from 127.0.0.2 (IP 192.168.1.150, name "
                                    "'Hall-North') and 127.0.0.4 (IP 192.168.1.150, name 'Hall-North'); duplicate IP "
                                    "192.168.1.150\n"),
                       std::string::npos)
                 << run.err;
         }},
        {"ApplySendsNothingToAClone",
         nullptr,
         {ctl(1), clone(1, 3), ctl(2)},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.101,,\n"
         "00:1a:2b:3c:00:02,192.168.1.102,,\n",
         LO + std::vector<std::string>{"apply", "plan.csv"},
         5,
         [](const ToolRun& run, const std::string& log) {
             states({"conflict", "verified"})(run, log);
             EXPECT_FALSE(sentTo(log, 1, "192.168.1.101")) << log;
         }},
        {"SetSendsNothingToACloneAnsweringLate",
         nullptr,
         {ctl(1), with(3, "mac=00.1a.2b.3c.00.01,delay=800,name=Hall-South")},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00.1a.2b.3c.00.01", "--ip", "192.168.1.50"},
         5,
         [](const ToolRun& run, const std::string& log) {
             states({"conflict"})(run, log);
             nothingSent(log);
             EXPECT_NE(run.err.find("warning: 00.1a.2b.3c.00.01: MAC answered from 127.0.0.2 (IP 192.168.1.20, name "
                                    "'Hall-North') and 127.0.0.4 (IP 192.168.1.20, name 'Hall-South'); nothing sent to "
                                    "it\n"),
                       std::string::npos)
                 << run.err;
         }},
        {"ApplySendsNothingToACloneAnsweringLate",
         nullptr,
         {ctl(1), with(3, "mac=00.1a.2b.3c.00.01,delay=800"), ctl(2)},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.101,,\n"
         "00:1a:2b:3c:00:02,192.168.1.102,,\n",
         LO + std::vector<std::string>{"apply", "plan.csv", "--format", "json"},
         5,
         [](const ToolRun& run, const std::string& log) {
             nlohmann::json doc = nlohmann::json::parse(run.out);
             ASSERT_EQ(doc.size(), 2u) << run.out;
             EXPECT_EQ(doc[0]["state"], "conflict");
             ASSERT_EQ(doc[0]["senders"].size(), 2u);
             EXPECT_EQ(doc[0]["senders"][1]["address"], "127.0.0.4");
             EXPECT_EQ(doc[1]["state"], "verified");
             EXPECT_FALSE(sentTo(log, 1, "192.168.1.101")) << log;
             EXPECT_NE(run.err.find("; nothing sent to it\n"), std::string::npos) << run.err;
         }},
        {"ApplyUnderLossVerifiesEveryRow",
         nullptr,
         {with(1, "loss=0.3"), with(2, "loss=0.3"), with(3, "loss=0.3")},
         {"--seed", "7"},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.101,,\n"
         "00:1a:2b:3c:00:02,192.168.1.102,,\n"
         "00:1a:2b:3c:00:03,192.168.1.103,,\n",
         LO + std::vector<std::string>{"apply", "plan.csv", "--verify-time", "5"},
         0,
         states({"verified", "verified", "verified"})},
        {"StatusLineWhileScanning",
         nullptr,
         {ctl(1), ctl(2)},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan"},
         0,
         statusLine({"scanning: 0 controllers found, 0.5 s of quiet left", "scanning: 2 controllers found, "},
                    "brevindor-batch: 2 controllers, 8 answers\r\n"),
         errorsOnTerminal()},
        {"StatusLineWhileVerifying",
         nullptr,
         {with(1, "setdelay=700")},
         {},
         "mac,ip,gateway,mask\n"
         "00:1a:2b:3c:00:01,192.168.1.101,,\n",
         LO + std::vector<std::string>{"apply", "plan.csv"},
         0,
         statusLine({"scanning: 0 of 1 planned controller found", "scanning: 1 of 1 planned controller found",
                     "verifying: 0 of 1 confirmed, 10.0 s left", "verifying: 0 of 1 confirmed, "},
                    ""),
         errorsOnTerminal()},
        {"MaxTimeStopsAChattyController",
         nullptr,
         {with(1, "repeat=1000,every=100")},
         {},
         nullptr,
         {"scan", "--interface", "127.0.0.1", "--timeout", "1", "--max-time", "2"},
         0,
         [](const ToolRun& run, const std::string&) {
             EXPECT_LT(run.seconds, 4.0);
             EXPECT_NE(run.err.find("--max-time"), std::string::npos) << run.err;
             EXPECT_EQ(columns(run.out).size(), 2u);
         }},
        // "Unicode text" from a spreadsheet: UTF-16 with a byte-order mark, tabs, CRLF, text beyond ASCII.
        {"ApplyUtf16Plan",
         nullptr,
         {ctl(1), ctl(2)},
         {},
         utf16("Notes\tMAC\tIP\r\n" + GROESSE + "\t00:1a:2b:3c:00:01\t192.168.1.101\r\nspare\t00:1a:2b:3c:00:02\t\r\n",
               false),
         LO + std::vector<std::string>{"apply", "plan.csv"},
         0,
         [](const ToolRun& run, const std::string& log) {
             states({"verified", "unchanged"})(run, log);
             EXPECT_TRUE(sentTo(log, 1, "192.168.1.101")) << log;
             EXPECT_EQ(count(log, SETTING_PREFIX), 1u) << log;
         }},
        {"ApplyUtf16WithoutMark",
         nullptr,
         {ctl(1)},
         {},
         utf16("mac,ip\n00:1a:2b:3c:00:01,192.168.1.101\n", true, false),
         LO + std::vector<std::string>{"apply", "plan.csv"},
         2,
         usageError("plan.csv:1: the plan is UTF-16 without a byte-order mark, which is not read; save it with Save "
                    "As, choosing CSV UTF-8 (or Unicode text)\nbrevindor-batch: 1 error in the plan; nothing sent\n")},
        {"ApplyFromStandardInput",
         nullptr,
         {ctl(1), ctl(2)},
         {},
         nullptr,
         LO + std::vector<std::string>{"apply", "-", "--format", "json"},
         0,
         [](const ToolRun& run, const std::string& log) {
             nlohmann::json doc = nlohmann::json::parse(run.out);
             ASSERT_EQ(doc.size(), 2u);
             EXPECT_EQ(doc[0]["line"], 2);
             EXPECT_EQ(doc[1]["state"], "verified");
             EXPECT_TRUE(sentTo(log, 2, "192.168.1.102")) << log;
         },
         {},
         {},
         "mac,ip\n00:1a:2b:3c:00:01,192.168.1.101\n00:1a:2b:3c:00:02,192.168.1.102\n"},
        {"ApplyFromStandardInputNamesIt",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"apply", "-"},
         2,
         usageError("(standard input):3: bad MAC address '00:1a:2b:3c:00:0g': six hex pairs"),
         {},
         {},
         "mac,ip\n00:1a:2b:3c:00:01,192.168.1.101\n00:1a:2b:3c:00:0g,192.168.1.102\n"},
        {"ApplyFromEndlessInput",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"apply", "-"},
         2,
         usageError("the plan (standard input) is larger than 1048576 bytes; nothing sent"),
         {},
         {},
         std::string(PLAN_LIMIT + 1, '#')},
        {"ApplyFromATerminal",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"apply", "-"},
         2,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_NE(run.out.find("apply - reads the plan from standard input, which is a terminal; redirect or pipe "
                                    "the plan into it\r\n"),
                       std::string::npos)
                 << run.out;
             EXPECT_EQ(log, "");
         },
         onTerminal()},
        // Spreadsheets need the mark to read UTF-8; a byte of no UTF-8 sequence becomes U+FFFD.
        {"ScanCsvWithMark",
         nullptr,
         {with(1, "namehex=" + GROESSE_HEX), with(2, "namehex=41ff42e6b3")},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "csv", "--bom"},
         0,
         [](const ToolRun& run, const std::string&) {
             ASSERT_EQ(run.out.rfind("\xef\xbb\xbfmac,ip,", 0), 0u) << run.out;
             Rows rows = parseCsv(run.out.substr(3));
             ASSERT_EQ(rows.size(), 3u) << run.out;
             EXPECT_EQ(rows[1][4], GROESSE);
             EXPECT_EQ(rows[2][4], "A\xef\xbf\xbd"
                                   "B\xef\xbf\xbd\xef\xbf\xbd");
         }},
        {"SetCsvWithMarkAndTally",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00.1a.2b.3c.00.01", "--ip", "192.168.1.50", "--format", "csv",
                                       "--bom"},
         0,
         [](const ToolRun& run, const std::string&) {
             EXPECT_EQ(run.out.rfind("\xef\xbb\xbfline,mac,state,", 0), 0u) << run.out;
             EXPECT_EQ(run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1), "brevindor-batch: 1 verified\n")
                 << "the tally ends standard error: " << run.err;
         }},
        {"MarkOnlyForCsv",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "json", "--bom"},
         2,
         usageError("--bom goes with --format csv only")},
        {"PortInUse",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan"},
         3,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_EQ(run.err, "brevindor-batch: can't bind to port 20662 on 127.0.0.1: Address already in use (error "
                                "98); is another brevindor or brevindor-batch running?\n");
             EXPECT_EQ(log, "");
         },
         {},
         {},
         "",
         "127.0.0.1"},
        {"DryRunChecksTheUndoFile",
         nullptr,
         {ctl(1)},
         {},
         FIVE_ROW_PLAN,
         LO + std::vector<std::string>{"apply", "--dry-run", "plan.csv", "--undo", "no/u.csv"},
         3,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_EQ(run.err,
                       "brevindor-batch: can't write the undo file no/u.csv: No such file or directory; nothing "
                       "sent\n");
             EXPECT_EQ(log, "") << "refused before the scan";
         }},
        {"NoCommand",
         nullptr,
         {},
         {},
         nullptr,
         {},
         2,
         usageError("scan, set, apply, replace, watch, doctor, journal or report")},
        {"OptionOfAnotherCommand",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--verify-time", "3"},
         2,
         usageError("--verify-time belongs to set, apply and replace, not scan")},
        {"UnknownOption",
         nullptr,
         {},
         {},
         nullptr,
         {"apply", "--bogus", "plan.csv"},
         2,
         usageError("apply: unknown option '--bogus'")},
        {"Version",
         nullptr,
         {},
         {},
         nullptr,
         {"--version"},
         0,
         [](const ToolRun& run,
            const std::string&) { EXPECT_EQ(run.out.rfind("brevindor-batch 1.", 0), 0u) << run.out; }},
        {"BadFormat",
         nullptr,
         {},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "xml"},
         2,
         usageError("--format")},
        {"SetWithoutAddresses",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00:1a:2b:3c:00:01"},
         2,
         usageError("at least one of")},
        {"SetBadAddress",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"set", "--mac", "00:1a:2b:3c:00:01", "--ip", "192.168.1.010"},
         2,
         usageError("--ip")},
        {"EndlessPlan",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"apply", "/dev/zero"},
         2,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_LT(run.seconds, 1.0);
             EXPECT_NE(run.err.find("larger than 1048576 bytes"), std::string::npos) << run.err;
             nothingSent(log);
         }},
        // Controllers behind two links: a scan of every interface hears each from the local address of
        // its own link, and one of a single link hears only the controller behind it.
        {"TwoSegmentsEachOnItsOwnAddress",
         nullptr,
         {behind(1, 1), behind(2, 2)},
         BOTH_SEGMENTS,
         nullptr,
         {"--interface", "all", "--timeout", "0.5", "scan", "--format", "csv"},
         0,
         heardFrom({{ctl(1).mac, "10.1.0.2", "10.1.0.1"}, {ctl(2).mac, "10.2.0.2", "10.2.0.1"}}),
         {},
         {},
         "",
         nullptr,
         2},
        {"SegmentOneNotHeardOnTwo",
         nullptr,
         {behind(1, 1), behind(2, 2)},
         BOTH_SEGMENTS,
         nullptr,
         {"--interface", "brv2", "--timeout", "0.5", "scan", "--format", "csv"},
         0,
         heardFrom({{ctl(2).mac, "10.2.0.2", "10.2.0.1"}}),
         {},
         {},
         "",
         nullptr,
         2},
        {"ResultToFullDisk",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         LO + std::vector<std::string>{"scan", "--format", "json"},
         3,
         [](const ToolRun& run, const std::string&) {
             EXPECT_NE(run.err.find("standard output: No space left on device"), std::string::npos) << run.err;
         },
         {"", 0, false, false, false, {}, "/dev/full"}},
        {"WatchTableEveryEvent",
         nullptr,
         WATCHED,
         {},
         nullptr,
         WATCH,
         0,
         [](const ToolRun& run, const std::string& log) {
             Rows rows = columns(run.out);
             ASSERT_GE(rows.size(), 2u) << run.out;
             EXPECT_EQ(rows[0], (std::vector<std::string>{"TIME", "EVENT", "MAC", "IP", "NODE NAME", "DETAIL"}));
             std::vector<std::string> told;
             std::map<std::string, std::vector<std::string>> first;   // each event's first row
             for (size_t i = 1; i < rows.size(); ++i) {
                 const std::vector<std::string>& row = rows[i];
                 ASSERT_GE(row.size(), 5u) << run.out;
                 EXPECT_TRUE(std::regex_match(row[0], std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\.[0-9]{3}")))
                     << row[0];
                 told.push_back(row[1] + " " + row[2]);
                 first.insert({told.back(), row});
             }
             watchedScene(told, run, log);
             EXPECT_EQ(first["changed 00.1a.2b.3c.00.03"],
                       (std::vector<std::string>{
                           first["changed 00.1a.2b.3c.00.03"][0], "changed", "00.1a.2b.3c.00.03", "192.168.1.50",
                           GROESSE, "ip 192.168.1.23 -> 192.168.1.50, name 'Hall-North' -> '" + GROESSE + "'"}));
             EXPECT_EQ(first["conflict 00.1a.2b.3c.00.01"].back(),
                       "! MAC answered from 127.0.0.2 (IP 192.168.1.21) and 127.0.0.9 (IP 192.168.1.21)");
             EXPECT_EQ(first["conflict 00.1a.2b.3c.00.05"].back(), "! duplicate IP 192.168.1.21");
             EXPECT_EQ(first["gone 00.1a.2b.3c.00.02"].size(), 5u) << "nothing to tell beyond the columns";
         }},
        {"WatchJsonEveryEvent",
         nullptr,
         WATCHED,
         {},
         nullptr,
         WATCH + std::vector<std::string>{"--format", "json"},
         0,
         [](const ToolRun& run, const std::string& log) {
             std::vector<std::string> told;
             std::vector<nlohmann::json> lines;
             for (size_t start = 0; start < run.out.size(); start = run.out.find('\n', start) + 1) {
                 std::string line = run.out.substr(start, run.out.find('\n', start) - start);
                 EXPECT_EQ(line.rfind("{\"time\":\"", 0), 0u) << "time first, then event: " << line;
                 EXPECT_NE(line.find("Z\",\"event\":\""), std::string::npos) << line;
                 lines.push_back(nlohmann::json::parse(line));
                 const nlohmann::json& e = lines.back();
                 ASSERT_TRUE(e.is_object());
                 EXPECT_TRUE(
                     std::regex_match(e["time"].get<std::string>(),
                                      std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-6][0-9]"
                                                 "\\.[0-9]{3}Z")))
                     << e["time"];
                 EXPECT_GE(e["time"], lines.front()["time"]) << "in order";
                 told.push_back(e["event"].get<std::string>() + " " + e["mac"].get<std::string>());
             }
             watchedScene(told, run, log);
             auto event = [&lines](const std::string& kind, const std::string& mac) {
                 for (const nlohmann::json& e : lines) {
                     if (e["event"] == kind && e["mac"] == mac) {
                         return e;
                     }
                 }
                 return nlohmann::json();
             };
             nlohmann::json changed = event("changed", "00.1a.2b.3c.00.03");
             EXPECT_EQ(changed["ip"], "192.168.1.50");
             EXPECT_EQ(changed["node_name"], GROESSE);
             EXPECT_EQ(changed["fields"], nlohmann::json::parse(R"(["ip", "node_name"])"));
             EXPECT_EQ(changed["was"], nlohmann::json::parse(R"({"ip": "192.168.1.23", "node_name": "Hall-North"})"));
             for (const char* key : {"gateway", "mask", "version", "node_id", "node_id_type", "sender", "local",
                                     "answers", "conflict", "senders", "morvesta", "k4z"}) {
                 EXPECT_TRUE(changed.contains(key)) << "the keys of scan --format json: " << key;
             }
             nlohmann::json clone = event("conflict", "00.1a.2b.3c.00.01");
             EXPECT_EQ(clone["senders"], nlohmann::json::parse(R"([
             {"address": "127.0.0.2", "ip": "192.168.1.21", "node_name": "Hall-North"},
             {"address": "127.0.0.9", "ip": "192.168.1.21", "node_name": "Clone"}])"));
             EXPECT_EQ(event("conflict", "00.1a.2b.3c.00.05")["conflict"], "duplicate IP 192.168.1.21");
             EXPECT_FALSE(event("gone", "00.1a.2b.3c.00.02").contains("fields"));
             EXPECT_EQ(event("back", "00.1a.2b.3c.00.02")["ip"], "192.168.1.22");
         }},
        // Ctrl-C and SIGTERM end it at once, with the tally and status 0.
        {"WatchEndsAtSigint",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         {"watch", "--interface", "127.0.0.1", "--every", "3600"},
         0,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_LT(run.seconds, 10.0);
             EXPECT_EQ(run.err,
                       "brevindor-batch: 1 present, 0 appeared, 0 gone, 0 back, 0 changed, 0 conflicts; 1 ask\n");
             EXPECT_EQ(log, REQUEST_LOG);
         },
         {"present", SIGINT}},
        {"WatchEndsAtSigterm",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         {"watch", "--interface", "127.0.0.1", "--format", "json"},
         0,
         [](const ToolRun& run, const std::string&) {
             EXPECT_NE(run.err.find("1 present"), std::string::npos) << run.err;
             EXPECT_EQ(count(run.out, "\n"), 1u) << run.out;
         },
         {"present", SIGTERM}},
        {"WatchPortInUse",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         {"watch", "--interface", "127.0.0.1", "--max-time", "1"},
         3,
         [](const ToolRun& run, const std::string& log) {
             EXPECT_EQ(run.err, "brevindor-batch: can't bind to port 20662 on 127.0.0.1: Address already in use (error "
                                "98); is another brevindor or brevindor-batch running?\n");
             EXPECT_EQ(run.out, "");
             EXPECT_EQ(log, "");
         },
         {},
         {},
         "",
         "127.0.0.1"},
        {"WatchUnknownInterface",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         {"watch", "--interface", "eth9"},
         2,
         usageError("'eth9'")},
        // doctor: the findings as lines, each problem with its fix.
        {"DoctorPortHeld",
         nullptr,
         {ctl(1)},
         {},
         nullptr,
         {"doctor", "--interface", "127.0.0.1", "--timeout", "0.5"},
         1,
         [](const ToolRun& run, const std::string&) {
             for (
                 const char* line :
                 {"problem  port 20662 on 127.0.0.1 (lo): can't be bound: Address already in use (error 98); is another "
                  "brevindor or brevindor-batch running?; to see which program holds it: ss -uanp 'sport = :20662'\n",
                  "problem  scan on 127.0.0.1 (lo): can't bind to port 20662 on 127.0.0.1: Address already in use",
                  "problem  route: no route for datagrams to 239.192.0.255: Network is unreachable (error 101)"}) {
                 EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
             }
         },
         {},
         {},
         "",
         "127.0.0.1"},
        {"DoctorControllerOutsideEverySubnet",
         VETH,
         {holding(1, "10.2.0.7"), holding(2, "127.0.0.9")},
         {},
         nullptr,
         {"doctor", "--interface", "lo", "--timeout", "0.5"},
         1,
         [](const ToolRun& run, const std::string&) {
             EXPECT_NE(run.out.find("ok       interface brv0: 10.9.0.1/24, up, multicast, veth (virtual)\n"),
                       std::string::npos)
                 << run.out;
             EXPECT_NE(run.out.find("ok       scan on 127.0.0.1 (lo): 2 controllers\n"), std::string::npos) << run.out;
             // 10.2.0.7/24 is in no subnet of 127.0.0.1/8, 10.9.0.1/24 or 10.9.0.2/24; 127.0.0.9 is in lo's.
             EXPECT_NE(
                 run.out.find("problem  controller 00.1a.2b.3c.00.01 at 10.2.0.7 mask 255.255.255.0, heard on "
                              "127.0.0.1 (lo), is outside every subnet of this computer; fix (as root): ip addr add "
                              "10.2.0.250/24 dev lo\n"),
                 std::string::npos)
                 << run.out;
             EXPECT_EQ(run.out.find("127.0.0.9 mask"), std::string::npos) << run.out;
         }},
        {"DoctorAllFineAsJson",
         "ip route add 224.0.0.0/4 dev lo src 127.0.0.1",
         {holding(1, "127.0.0.9")},
         {},
         nullptr,
         {"doctor", "--interface", "lo", "--timeout", "0.5", "--format", "json"},
         0,
         [](const ToolRun& run, const std::string& log) {
             nlohmann::json all = nlohmann::json::parse(run.out);
             EXPECT_EQ(all["status"], 0) << run.out;
             // Links an earlier case of the same test process made are listed too: lo's findings only.
             std::vector<std::string> kinds;
             nlohmann::json scan;
             for (const nlohmann::json& f : all["findings"]) {
                 if (f["kind"] == "interface" && f["interface"]["name"] != "lo") {
                     continue;
                 }
                 kinds.push_back(f["kind"].get<std::string>() + " " + f["severity"].get<std::string>());
                 scan = f["kind"] == "scan" ? f : scan;
             }
             EXPECT_EQ(kinds,
                       (std::vector<std::string>{"interface ok", "route ok", "port ok", "buffer ok", "scan ok"}));
             EXPECT_EQ(scan["controllers"], 1) << run.out;
             EXPECT_EQ(log, REQUEST_LOG + REQUEST_LOG + REQUEST_LOG + REQUEST_LOG) << "one scan, four requests";
         }},
        {"DoctorRefusesCsv", nullptr, {}, {}, nullptr, {"doctor", "--format", "csv"}, 2, usageError("(table or json)")},
};

// The protocol's port on the address given (none: nullptr) taken while it lives, as by another program.
struct PortHolder {
    int fd = -1;
    explicit PortHolder(const char* address)
    {
        if (address == nullptr) {
            return;
        }
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(20662);
        EXPECT_EQ(inet_pton(AF_INET, address, &local.sin_addr), 1) << address;
        EXPECT_EQ(bind(fd, (const sockaddr*)&local, sizeof local), 0) << "the port to hold: " << errno;
    }
    ~PortHolder()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
};

// gtest shows a case by its name.
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

}   // namespace

class Batch : public Network, public ::testing::WithParamInterface<Case> {};

TEST_P(Batch, Run)
{
    const Case& c = GetParam();
    if (c.links != nullptr) {
        ASSERT_TRUE(inNamespace(c.links));
    }
    if (c.segments > 0) {
        segments(c.segments);
    }
    controllers(c.ctls, c.standIn);
    std::vector<std::string> args = c.args;
    // The command first: the options of a case are written before it for brevity.
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "scan" || args[i] == "set" || args[i] == "apply" || args[i] == "replace" || args[i] == "watch" ||
            args[i] == "doctor") {
            std::rotate(args.begin(), args.begin() + (long)i, args.begin() + (long)i + 1);
            break;
        }
    }
    if (c.plan.given) {
        file("plan.csv", c.plan.bytes);
    }
    PortHolder holder(c.portHeld);
    if (!c.first.empty()) {
        std::vector<std::string> first = c.first;
        std::rotate(first.begin(), first.begin() + (long)LO.size(), first.begin() + (long)LO.size() + 1);
        ToolRun before = batch(first);
        ASSERT_EQ(before.exitCode, 0) << before.err;
    }
    ToolRun run = batch(args, c.control, c.input);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    if (!c.control.errorsOnTerminal && !c.control.terminal) {
        EXPECT_EQ(run.err.find('\r'), std::string::npos) << "no status line off a terminal: " << run.err;
    }
    c.check(run, received());
}

INSTANTIATE_TEST_SUITE_P(Cases, Batch, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
