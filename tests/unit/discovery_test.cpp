#include <gtest/gtest.h>

#include "app/discovery.h"
#include "app/run_state.h"
#include "report/console.h"
#include "support/capture.h"
#include "support/response.h"

TEST(Discovery, CountLineForms)
{
    const std::pair<int, const char*> cases[] = {
        {0, "\nThere are no online controllers.\n\n"},
        {1, "\nThere is only 1 online controller.\n\n"},
        {2, "\nThere are 2 online controllers.\n\n"},
        {100, "\nThere are 100 online controllers.\n\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(capture([&](FILE* out) { printCount(out, c.first); }), c.second) << c.first;
    }
}

// Every response is recorded with the sender as the socket saw it, not the address it reports.
TEST(Discovery, RecordsSenderAndMacInArrivalOrder)
{
    static RunState rs;
    initRunState(rs);
    makeResponse(rs.recvbuf);
    for (unsigned char i = 0; i < 3; ++i) {
        rs.net.source_sin.sin_addr.s_addr = htonl(0x7F000002u + i);
        rs.recvbuf[RSP_MAC + MAC_LEN - 1] = i;
        capture([&](FILE* out) { recordResponse(rs, RECV_LEN, out); });
    }
    ASSERT_EQ(rs.table.responseCount, 3);
    for (int i = 0; i < 3; ++i) {
        const unsigned char ip[IPV4_LEN] = {127, 0, 0, (unsigned char)(2 + i)};
        EXPECT_EQ(memcmp(rs.table.ulIpAddr[i], ip, IPV4_LEN), 0) << i;
        EXPECT_EQ(rs.table.ulMacAddr[i][MAC_LEN - 1], i) << i;
    }
}

TEST(Discovery, ResponsesPastTheTableAreLeftOutWithOneNotice)
{
    static RunState rs;
    initRunState(rs);
    makeResponse(rs.recvbuf);
    std::string printed;
    for (int i = 0; i < MAX_CONTROLLERS + 5; ++i) {
        rs.recvbuf[RSP_MAC] = (unsigned char)i;
        printed += capture([&](FILE* out) { recordResponse(rs, RECV_LEN, out); });
    }
    EXPECT_EQ(rs.table.responseCount, MAX_CONTROLLERS);
    EXPECT_EQ(rs.table.ulMacAddr[MAX_CONTROLLERS - 1][0], MAX_CONTROLLERS - 1);
    EXPECT_TRUE(rs.table.responsesLeftOut);
    const std::string notice = "\nMore than 100 controllers answered: further responses are left out.\n";
    size_t first = printed.find(notice);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(printed.find(notice, first + 1), std::string::npos);
    EXPECT_EQ(printed.substr(first), notice);
    EXPECT_NE(printed.find("\n\n100. response"), std::string::npos);
    EXPECT_EQ(printed.find("\n\n101. response"), std::string::npos);
}
