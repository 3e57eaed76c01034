#include "e2e/harness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

using Scan = Network;

// Without arguments: read mode with the 5-second time-out.
TEST_F(Scan, NoControllerWithTheDefaults)
{
    controllers({});
    ToolRun run = tool({}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + TIMEOUT + countLine(0) + PAUSE);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_GE(run.seconds, 5.0);
    EXPECT_EQ(received(), REQUEST_LOG);
}

TEST_F(Scan, OneController)
{
    controllers({ctl(1)});
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, ctl(1)) + TIMEOUT + countLine(1) + PAUSE);
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(received(), REQUEST_LOG);
}

// The dump of a datagram of which only the first 8 bytes came (or none: header zero too): every
// later field reads as zero, never as what an earlier, longer datagram held.
static std::string shortDump(int n, const std::string& from, long bytes)
{
    std::string header = bytes == 0 ? "????\nProtocol Version\t: 0.00\nMessage Type\t\t: 00 00 "
                                    : "VKDA\nProtocol Version\t: 1.00\nMessage Type\t\t: Unicast Response";
    return "\n\n" + std::to_string(n) + ". response is received from the \nIP Address: " + from +
           " \nMAC-Address: 00.00.00.00.00.00\n\n"
           "********************************\n\tReceived Message\n********************************\n\n"
           "Bytes Received\t\t: " +
           std::to_string(bytes) + "\nProtocol ID\t\t: " + header +
           "\nIndex\t\t\t: 00 00 \nMac-Addresse\t\t: 00.00.00.00.00.00\nIP-Adresse\t\t: 0.0.0.0"
           "\nIP-Gateway\t\t: 0.0.0.0\nIP-Mask\t\t\t: 0.0.0.0\nNode Identification\t: 00 00"
           "\nNode Identification Type: 00 00\nVersion Nummer\t\t: 0.0.0.0\nNode Name\t\t: \n\n";
}

// Three controllers, the last answering twice, then an empty datagram and a header alone: every
// datagram counts, and the short ones show zeros.
TEST_F(Scan, ThreeControllersOneTwiceAndShortDatagrams)
{
    Ctl c1 = ctl(1), c2 = ctl(2), c3 = ctl(3), empty = ctl(4);
    c2.ip = "10.20.30.40";   // reported address differs from the sender's
    c2.name = "Pump \x1b[31mRed";
    c3.extra = "repeat=2";
    empty.extra = "size=0,delay=300";
    Ctl header = ctl(5);
    header.extra = "size=8,delay=400";
    controllers({c1, c2, c3, empty, header});
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    Ctl c2shown = c2;
    c2shown.name = "Pump ?[31mRed";
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, c1) + responseDump(2, c2, 70, &c2shown) +
                           responseDump(3, c3) + responseDump(4, c3) + shortDump(5, empty.from, 0) +
                           shortDump(6, header.from, 8) + TIMEOUT + countLine(6) + PAUSE);
    EXPECT_EQ(run.exitCode, 255);
}

// A datagram longer than the buffer ends the run after what came before it; no count line.
TEST_F(Scan, OversizedDatagramIsAReceiveFailure)
{
    Ctl big = ctl(2);
    big.extra = "size=71,delay=300";
    controllers({ctl(1), big});
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, ctl(1)) + RECEIVE_FAILURE + PAUSE);
    EXPECT_EQ(run.exitCode, 255);
}

// 101 controllers: the table keeps 100, one notice, the count agrees with the table.
TEST_F(Scan, MoreControllersThanTheTable)
{
    std::vector<Ctl> list;
    std::string dumps;
    for (int k = 1; k <= 101; ++k) {
        list.push_back(ctl(k));
        if (k <= 100) {
            dumps += responseDump(k, ctl(k));
        }
    }
    controllers(list);
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + dumps +
                           "\nMore than 100 controllers answered: further responses are left out.\n" + TIMEOUT +
                           countLine(100) + PAUSE);
    EXPECT_EQ(run.exitCode, 255);
}

// Choices the interface prompt refuses; nothing reaches the network.
TEST_F(Scan, InvalidInterfaceChoice)
{
    controllers({ctl(1)});
    for (const char* input : {"2\n", "0\n", "x\n", "\n", "", "21\n"}) {
        ToolRun run = tool({"-R", "-T", "1"}, input);
        EXPECT_EQ(run.out, head() + "Error : Invalid entry...\n" + LOCAL_ADDR_FAILURE + PAUSE) << input;
        EXPECT_EQ(run.exitCode, 255) << input;
    }
    EXPECT_EQ(received(), "");
}

// Each answer restarts the full time-out: the second comes 1.4 s after the request, but only
// 0.7 s after the first.
TEST_F(Scan, EveryWaitIsAFullTimeout)
{
    Ctl early = ctl(1), late = ctl(2);
    early.extra = "delay=700";
    late.extra = "delay=1400";
    controllers({early, late});
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out,
              head() + REQUEST_DUMP + responseDump(1, early) + responseDump(2, late) + TIMEOUT + countLine(2) + PAUSE);
}

// The port is taken on the chosen address: the bind fails and nothing is sent.
TEST_F(Scan, BindFailure)
{
    controllers({ctl(1)});
    int taken = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(20662);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(taken, (const sockaddr*)&local, sizeof local), 0);
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    close(taken);
    EXPECT_EQ(run.out, head() +
                           "An error has been occurred during the association of the source socket's "
                           "address with the socket!!!\n" +
                           PAUSE);
    EXPECT_EQ(received(), "");
}

// Started with every descriptor below FD_SETSIZE in use, the tool's socket can't be waited on with
// select: the run ends as a failed socket creation, and nothing is sent.
TEST_F(Scan, SocketBeyondTheWaitSet)
{
    controllers({ctl(1)});
    rlimit limit = {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlim_t needed = FD_SETSIZE + 64;
    if (limit.rlim_cur < needed) {
        rlimit raised = {needed, limit.rlim_max < needed ? needed : limit.rlim_max};
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
            GTEST_SKIP() << "can't allow " << needed << " descriptors";
        }
    }
    // A shell fills every descriptor from 3 to FD_SETSIZE, then becomes the tool.
    const std::string fill = "i=3; while [ $i -le " + std::to_string(FD_SETSIZE) +
                             " ]; do eval \"exec $i</dev/null\"; i=$((i+1)); done; exec \"$0\" \"$@\"";
    ToolRun run = runProgram("/bin/bash", {"-c", fill, BREVINDOR_PATH, "-R", "-T", "1"}, "1\n", dir);
    EXPECT_EQ(run.out,
              head() + "An error has been occurred during the creation of a datagram window socket!!!\n" + PAUSE);
    EXPECT_EQ(received(), "");
}
