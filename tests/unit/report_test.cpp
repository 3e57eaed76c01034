// The texts of report/ that the batch program and the page share: the scan's forms, the events,
// failures, tallies and hints, and how a job's end reads in each frame.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cerrno>

#include "report/formats.h"
#include "report/messages.h"
#include "report/no_answer_text.h"
#include "report/scan_forms.h"
#include "report/summary_forms.h"
#include "support/response.h"

TEST(Report, ProductFlagsOfEachController)
{
    unsigned char buf[RECV_LEN];
    makeResponse(buf);
    Sighting makerOnly;
    memset(&makerOnly, 0, sizeof makerOnly);
    makerOnly.response = decoded(buf, RECV_LEN);
    makerOnly.response.nodeType[0] = 0;   // the maker's, another series
    makerOnly.answers = 1;
    Sighting seriesOnly = makerOnly;
    seriesOnly.response = decoded(buf, RECV_LEN);
    seriesOnly.response.nodeId[0] = 0;   // the series, another maker
    const std::vector<Sighting> found = {makerOnly, seriesOnly};

    nlohmann::json doc = nlohmann::json::parse(scanText(FORMAT_JSON, found, std::vector<ScanFlag>(found.size())));
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0]["morvesta"], true);
    EXPECT_EQ(doc[0]["k4z"], false);
    EXPECT_EQ(doc[1]["morvesta"], false);
    EXPECT_EQ(doc[1]["k4z"], true);

    std::string table = scanText(FORMAT_TABLE, found, std::vector<ScanFlag>(found.size()));
    size_t second = table.find('\n', table.find('\n') + 1);
    EXPECT_NE(table.substr(0, second).find("4343 Morvesta  0000  "), std::string::npos) << table;
    EXPECT_NE(table.substr(second).find("0043 "), std::string::npos) << table;
    EXPECT_NE(table.substr(second).find("0900 K4Z"), std::string::npos) << table;
    EXPECT_EQ(table.substr(second).find("Morvesta"), std::string::npos) << table;
    EXPECT_EQ(table.find(" \n"), std::string::npos) << "no padding after an empty last cell: " << table;
}

// Counts on standard error agree with their numbers.
TEST(Report, EventCounts)
{
    const struct {
        EventKind kind;
        long count;
        long other;
        const char* expected;
    } cases[] = {
        {EVENT_SCANNED, 1, 1, "1 controller, 1 answer"},
        {EVENT_SCANNED, 2, 0, "2 controllers, 0 answers"},
        {EVENT_SENT, 1, 0, "sent 1 setting"},
        {EVENT_SENT, 3, 0, "sent 3 settings"},
        {EVENT_IGNORED, 1, 1, "ignored 1 datagram that is no response (1 too long)"},
        {EVENT_IGNORED, 2, 0, "ignored 2 datagrams that are no response (0 too long)"},
        {EVENT_ROW_STATE, 1, 0, ""},   // for the page's rows and the summary, not a line of its own
        {EVENT_UNDO_WRITTEN, 0, 0, ""},
    };
    for (const auto& c : cases) {
        Event e = eventOf(c.kind);
        e.count = c.count;
        e.other = c.other;
        EXPECT_EQ(eventText(e, FRAME_OPTIONS), c.expected);
        EXPECT_EQ(eventText(e, FRAME_PAGE), c.expected) << "no option named: the same words";
    }
    Event late = eventOf(EVENT_MAX_TIME);
    late.seconds = 2.5;
    EXPECT_EQ(eventText(late, FRAME_OPTIONS), "answers kept coming; the scan ended at --max-time (2.5 s)");
    EXPECT_EQ(eventText(late, FRAME_PAGE), "answers kept coming; the scan ended at its time limit (2.5 s)");
}

// A failed call in words: the system's text, the number, and the hint a user can act on.
TEST(Report, FailuresInWords)
{
    const unsigned char local[IPV4_LEN] = {127, 0, 0, 1};
    const struct {
        FailedCall call;
        int error;
        const char* expected;
    } cases[] = {
        {FAILED_BIND, EADDRINUSE,
         "can't bind to port 20662 on 127.0.0.1: Address already in use (error 98); is another brevindor or "
         "brevindor-batch running?"},
        {FAILED_BIND, EADDRNOTAVAIL,
         "can't bind to port 20662 on 127.0.0.1: Cannot assign requested address (error 99); is the interface still "
         "up with this address?"},
        {FAILED_SEND, ENETUNREACH,
         "can't send from 127.0.0.1: Network is unreachable (error 101); is the interface up and connected?"},
        {FAILED_SEND, EPERM,
         "can't send from 127.0.0.1: Operation not permitted (error 1); does a firewall block UDP port 20662, or "
         "does it need root (Administrator on Windows)?"},
        {FAILED_RECEIVE, EINTR, "can't receive on 127.0.0.1: Interrupted system call (error 4)"},
        {FAILED_SOCKET, 0, "can't make a socket for 127.0.0.1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(failureText(failureOf(c.call, local, c.error)), c.expected);
    }
}

// One line after the summary: each result present counted, in the order of the results.
TEST(Report, Tally)
{
    const struct {
        std::vector<OutcomeState> states;
        const char* expected;
    } cases[] = {
        {{OUTCOME_VERIFIED}, "1 verified"},
        {{OUTCOME_NOT_CONFIRMED, OUTCOME_VERIFIED, OUTCOME_NOT_CONFIRMED, OUTCOME_VERIFIED, OUTCOME_VERIFIED},
         "3 verified, 2 not confirmed"},
        {{OUTCOME_INTERRUPTED, OUTCOME_CONFLICT, OUTCOME_SENT, OUTCOME_NOT_FOUND},
         "1 not found, 1 sent, 1 conflict, 1 interrupted"},
    };
    for (const auto& c : cases) {
        std::vector<Outcome> outcomes(c.states.size());
        for (size_t i = 0; i < outcomes.size(); ++i) {
            outcomes[i].state = c.states[i];
        }
        EXPECT_EQ(tallyText(outcomes), c.expected);
    }
}

// The scan CSV of one controller named name, from its node_name field on (mac, ip, gateway and
// mask before it hold no comma).
static std::string csvFromName(const char* name)
{
    unsigned char buf[RECV_LEN];
    makeResponse(buf, name);
    Sighting s;
    memset(&s, 0, sizeof s);
    s.response = decoded(buf, RECV_LEN);
    s.answers = 1;
    std::string csv = scanText(FORMAT_CSV, {s}, std::vector<ScanFlag>(1));
    size_t at = csv.find("\r\n") + 2;
    for (int comma = 0; comma < 4; ++comma) {
        at = csv.find(',', at) + 1;
    }
    return csv.substr(at);
}

// CSV is UTF-8 throughout: a byte of no sequence becomes U+FFFD, one each; controls stay '?' and
// the formula guard stays in front.
TEST(Report, CsvNamesAreUtf8)
{
    const struct {
        const char* name;
        const char* expected;   // the node_name field
    } cases[] = {
        {"Gr\xc3\xb6\xc3\x9f"
         "e",
         "Gr\xc3\xb6\xc3\x9f"
         "e"},
        {"A\xff"
         "B",
         "A\xef\xbf\xbd"
         "B"},
        {"\xe6\xb3", "\xef\xbf\xbd\xef\xbf\xbd"},   // a sequence cut short
        {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},   // an overlong '/'
        {"=\xf8\x01", "'=\xef\xbf\xbd?"},
        {"\x9b"
         "1m",
         "?1m"},   // a C1 byte stays a control
    };
    for (const auto& c : cases) {
        std::string field = csvFromName(c.name);
        EXPECT_EQ(field.substr(0, field.find(',')), c.expected) << c.name;
    }
}

// A node name a spreadsheet would take for a formula (= + - @ first) goes into the CSV behind an
// apostrophe, quoted as any field where it must be; the same characters further in, or any other
// first character, leave it as it is (controls are '?', as everywhere).
TEST(Report, CsvNodeNamesAreNeverFormulas)
{
    const struct {
        const char* name;
        const char* field;   // the node_name field as written
    } cases[] = {
        {"=1+1", "'=1+1"},
        {"+41 44 000", "'+41 44 000"},
        {"-2", "'-2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"=A1,B1", "\"'=A1,B1\""},
        {"=\"x\"", "\"'=\"\"x\"\"\""},
        {"Hall=North", "Hall=North"},
        {"Pump-1", "Pump-1"},
        {"'quoted", "'quoted"},
        {"\t=1+1", "?=1+1"},   // a control first is shown as '?', which no spreadsheet computes
        {" =1+1", " =1+1"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(csvFromName(c.name).substr(0, strlen(c.field) + 1), std::string(c.field) + ",") << c.name;
    }
}

// What to check when nothing answered: the interfaces asked on, the others (the tunnel marked),
// the firewall rule only on Windows, and multicast on the way.
TEST(Report, NoAnswerHints)
{
    auto one = [](const char* name, unsigned char last, bool tunnel) {
        LocalInterface l;
        memset(&l, 0, sizeof l);
        (void)snprintf(l.name, sizeof l.name, "%s", name);
        const unsigned char address[4] = {10, 9, 0, last};
        memcpy(l.address, address, sizeof address);
        l.up = true;
        l.tunnel = tunnel;
        return l;
    };
    const LocalInterface eth = one("Ethernet 2", 1, false);
    const LocalInterface vpn = one("Office VPN", 2, true);
    const std::string multicast =
        "  a VLAN, or a switch that drops multicast, may keep the request (group 239.192.0.255) from the controllers\n";
    const struct {
        std::vector<LocalInterface> used;
        std::vector<LocalInterface> candidates;
        bool windows;
        std::string expected;
    } cases[] = {
        {{eth},
         {eth, vpn},
         true,
         "  asked on 10.9.0.1 (Ethernet 2)\n"
         "  the controllers may be on another interface: 10.9.0.2 (Office VPN, a tunnel)\n"
         "  the Windows firewall may drop the answers: allow UDP port 20662 in, as administrator:\n"
         "    netsh advfirewall firewall add rule name=\"brevindor\" dir=in action=allow protocol=UDP "
         "localport=20662\n" +
             multicast},
        {{eth, vpn},
         {eth, vpn},
         false,
         "  asked on 10.9.0.1 (Ethernet 2), 10.9.0.2 (Office VPN, a tunnel)\n" + multicast},
    };
    for (const auto& c : cases) {
        std::string text;
        for (const std::string& line : noAnswerHints(c.used, c.candidates, c.windows)) {
            text += "  " + line + "\n";
        }
        EXPECT_EQ(text, c.expected);
    }
}
