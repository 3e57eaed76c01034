#include "e2e/harness.h"

using ResponseFile = Network;

static const std::string SETTING_RECORD_HEAD =
    "\n******************************************************\n\tSent Message for setting the Addresses\n"
    "******************************************************\n\n";

TEST_F(ResponseFile, NoController)
{
    controllers({});
    ToolRun run = tool({"-R", "-F", "scan.txt", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + TIMEOUT + countLine(0) + PAUSE);
    EXPECT_EQ(readFile(dir + "/scan.txt"), "\nThere are no online controllers.");
}

TEST_F(ResponseFile, TwoResponsesThenTheCount)
{
    Ctl second = ctl(2);
    second.name = "Gate\x7f\x1b]0;x";
    controllers({ctl(1), second});
    ToolRun run = tool({"-r", "-t", "1", "-f", "scan.txt"}, "1\n");
    Ctl secondShown = second;
    secondShown.name = "Gate??]0;x";
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, ctl(1)) + responseDump(2, second, 70, &secondShown) +
                           TIMEOUT + countLine(2) + PAUSE);
    EXPECT_EQ(readFile(dir + "/scan.txt"),
              responseRecord(1, ctl(1)) + responseRecord(2, second, 70, &secondShown) + countRecord(2));
}

// A write run that sends the setting records it; one that ends with a wrong entry does not.
TEST_F(ResponseFile, WriteRuns)
{
    controllers({ctl(1)});
    const std::string records = responseRecord(1, ctl(1)) + countRecord(1);
    ToolRun run = tool({"-W", "-F", "set.txt", "-I", "10.4.0.2", "-T", "1"}, "1\n1\n");
    EXPECT_EQ(readFile(dir + "/set.txt"),
              records + SETTING_RECORD_HEAD +
                  "Bytes Sent\t: 28\nProtocol ID\t: VKDA\nProtocol Version: 1.00"
                  "\nMessage Type\t: Multicast Address Setting\nMac Address\t: " +
                  ctl(1).mac + " \nIp Address\t: 10.4.0.2\nGateway Address\t: 0.0.0.0\nMask Address\t: 0.0.0.0\n\n");

    Ctl moved = ctl(1);
    moved.ip = "10.4.0.2";
    moved.gw = moved.mask = "0.0.0.0";
    run = tool({"-W", "-F", "wrong.txt", "-T", "1"}, "1\n2\n");
    EXPECT_NE(run.out.find("\nWrong entry!!!\n"), std::string::npos);
    EXPECT_EQ(readFile(dir + "/wrong.txt"), responseRecord(1, moved) + countRecord(1));
}

// A receive failure keeps what was written before it; no count record.
TEST_F(ResponseFile, ReceiveFailureKeepsEarlierRecords)
{
    Ctl big = ctl(2);
    big.extra = "size=1000,delay=300";
    controllers({ctl(1), big});
    ToolRun run = tool({"-R", "-F", "scan.txt", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, ctl(1)) + RECEIVE_FAILURE + PAUSE);
    EXPECT_EQ(readFile(dir + "/scan.txt"), responseRecord(1, ctl(1)));
}
