// The batch program's scan texts: the product flags and markers each stand on their own field.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "report/batch_output.h"
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

// A node name a spreadsheet would take for a formula (= + - @ first) goes into the CSV behind an
// apostrophe, quoted as any field where it must be; the same characters further in, or any other
// first character, leave it as it is (controls are '?', as everywhere).
TEST(BatchOutput, CsvNodeNamesAreNeverFormulas)
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
    unsigned char buf[RECV_LEN];
    for (const auto& c : cases) {
        makeResponse(buf, c.name);
        Sighting s;
        memset(&s, 0, sizeof s);
        s.response = decoded(buf, RECV_LEN);
        s.answers = 1;
        std::string csv = capture([&](FILE* out) { printScanCsv(out, {s}, std::vector<ScanFlag>(1)); });
        // The second line's fields after mac, ip, gateway and mask, which hold no comma.
        size_t at = csv.find("\r\n") + 2;
        for (int comma = 0; comma < 4; ++comma) {
            at = csv.find(',', at) + 1;
        }
        EXPECT_EQ(csv.substr(at, strlen(c.field) + 1), std::string(c.field) + ",") << c.name << ": " << csv;
    }
}
