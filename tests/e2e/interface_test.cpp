#include "e2e/harness.h"

#include "support/netns.h"

using Interfaces = Network;

static const char* const VETH = "ip link add brv0 type veth peer name brv1 && ip link set brv0 up && "
                                "ip link set brv1 up && ip addr add 10.9.0.1/24 dev brv0";

// Interfaces other than loopback come first; a scan from one of them reaches the controllers.
TEST_F(Interfaces, OtherInterfacesBeforeLoopback)
{
    ASSERT_TRUE(inNamespace(VETH));
    controllers({ctl(1)}, {"--interface", "10.9.0.1"});
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    std::vector<std::string> listed = {"10.9.0.1", "127.0.0.1"};
    EXPECT_EQ(run.out, head(listed) + REQUEST_DUMP + responseDump(1, ctl(1)) + TIMEOUT + countLine(1) + PAUSE);
    EXPECT_EQ(received(),
              logLine({0x56, 0x4b, 0x44, 0x41, 0x01, 0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, "10.9.0.1:20662"));
}

// Only the first character is the choice: "12" picks address 1 and the scan runs.
TEST_F(Interfaces, OnlyTheFirstCharacterCounts)
{
    ASSERT_TRUE(inNamespace(VETH));
    controllers({}, {"--interface", "10.9.0.1"});
    ToolRun run = tool({"-R", "-T", "1"}, "12\n");
    EXPECT_EQ(run.out, head({"10.9.0.1", "127.0.0.1"}) + REQUEST_DUMP + TIMEOUT + countLine(0) + PAUSE);
}

TEST_F(Interfaces, FiftyAreListedFiftyOneAreTooMany)
{
    ASSERT_TRUE(
        inNamespace(std::string(VETH) + " && for i in $(seq 1 48); do ip addr add 10.9.1.$i/32 dev brv0; done"));
    std::vector<std::string> listed = {"10.9.0.1"};
    for (int i = 1; i <= 48; ++i) {
        listed.push_back("10.9.1." + std::to_string(i));
    }
    listed.push_back("127.0.0.1");
    ToolRun run = tool({}, "0\n");
    EXPECT_EQ(run.out, head(listed) + "Error : Invalid entry...\n" + LOCAL_ADDR_FAILURE + PAUSE);

    ASSERT_TRUE(inNamespace("ip addr add 10.9.1.49/32 dev brv0"));
    listed.pop_back();
    listed.push_back("10.9.1.49");
    std::string lines = head(listed);
    lines.resize(lines.find("\nType the number"));
    run = tool({"-R", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, lines +
                           "Error : Too many interfaces. The current number of interfaces are more than "
                           "MAX_INTERFACES definition\n" +
                           LOCAL_ADDR_FAILURE + PAUSE);
}

// No address at all: the prompt still comes and every answer is refused.
TEST_F(Interfaces, NoAddress)
{
    ASSERT_TRUE(inNamespace("ip link set lo down"));
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, head({}) + "Error : Invalid entry...\n" + LOCAL_ADDR_FAILURE + PAUSE);
}
