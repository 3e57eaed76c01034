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
}
