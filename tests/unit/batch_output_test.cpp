// The batch program's scan texts: the product flags and markers each stand on their own field.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "report/batch_output.h"
#include "report/no_answer_text.h"
#include "support/capture.h"
#include "support/response.h"

TEST(BatchOutput, ProductFlagsOfEachController)
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

    nlohmann::json doc = nlohmann::json::parse(
        capture([&](FILE* out) { printScanJson(out, found, std::vector<ScanFlag>(found.size())); }));
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0]["morvesta"], true);
    EXPECT_EQ(doc[0]["k4z"], false);
    EXPECT_EQ(doc[1]["morvesta"], false);
    EXPECT_EQ(doc[1]["k4z"], true);

    std::string table = capture([&](FILE* out) { printScanTable(out, found, std::vector<ScanFlag>(found.size())); });
    size_t second = table.find('\n', table.find('\n') + 1);
    EXPECT_NE(table.substr(0, second).find("4343 Morvesta  0000  "), std::string::npos) << table;
    EXPECT_NE(table.substr(second).find("0043 "), std::string::npos) << table;
    EXPECT_NE(table.substr(second).find("0900 K4Z"), std::string::npos) << table;
    EXPECT_EQ(table.substr(second).find("Morvesta"), std::string::npos) << table;
    EXPECT_EQ(table.find(" \n"), std::string::npos) << "no padding after an empty last cell: " << table;
}

// Counts on standard error agree with their numbers.
TEST(BatchOutput, EventCounts)
{
    const struct {
        EventKind kind;
        long count;
        long other;
        const char* expected;
    } cases[] = {
        {EVENT_SCANNED, 1, 1, "brevindor-batch: 1 controller, 1 answer\n"},
        {EVENT_SCANNED, 2, 0, "brevindor-batch: 2 controllers, 0 answers\n"},
        {EVENT_SENT, 1, 0, "brevindor-batch: sent 1 setting\n"},
        {EVENT_SENT, 3, 0, "brevindor-batch: sent 3 settings\n"},
        {EVENT_IGNORED, 1, 1, "brevindor-batch: ignored 1 datagram that is no response (1 too long)\n"},
        {EVENT_IGNORED, 2, 0, "brevindor-batch: ignored 2 datagrams that are no response (0 too long)\n"},
    };
    for (const auto& c : cases) {
        Event e{};
        e.kind = c.kind;
        e.count = c.count;
        e.other = c.other;
        EXPECT_EQ(capture([&](FILE* err) { printEvent(err, e); }), c.expected);
    }
}

// What to check when nothing answered: the interfaces asked on, the others (the tunnel marked),
// the firewall rule only on Windows, and multicast on the way.
TEST(BatchOutput, NoAnswerHints)
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
        EXPECT_EQ(capture([&](FILE* err) { printNoAnswerHints(err, c.used, c.candidates, c.windows); }), c.expected);
    }
}
