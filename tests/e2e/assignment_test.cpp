#include "e2e/harness.h"

using Assignment = Network;

static const std::string TABLE_HEAD =
    "**********************************************************************\n\t\t     Table of Online Controllers\n"
    "**********************************************************************\n\n"
    "Controller Number \t Controller IP-Address \t Controller Mac-Number\n\n";
static const std::string PROMPT = "\nType the number of the Controller which you want to set: ";
static const std::string WRONG_ENTRY = "\nWrong entry!!!\n";

static std::string row(int n, const Ctl& c)
{
    return "\t" + std::to_string(n) + "\t\t " + c.from + "\t\t " + c.mac + "\n";
}

static std::string settingDump(const Ctl& target, const std::string& ip, const std::string& gw, const std::string& mask)
{
    return "\n********************************************\n\tSent Address Setting Message\n"
           "********************************************\n\n"
           "Bytes Sent\t: 28\nProtocol ID\t: VKDA\nProtocol Version: 1.00\nMessage Type\t: Multicast Address Setting"
           "\nMac Address\t: " +
           target.mac + " \nIp Address\t: " + ip + "\nGateway Address\t: " + gw + "\nMask Address\t: " + mask + "\n\n";
}

static const std::vector<std::string> WRITE_ARGS = {"-W", "-I",          "192.168.1.99", "-G", "192.168.1.254",
                                                    "-M", "255.255.0.0", "-T",           "1"};

// Scan, choose the third controller, then scan again: it reports its new address.
TEST_F(Assignment, CommissionTheThirdControllerAndVerify)
{
    std::vector<Ctl> three = {ctl(1), ctl(2), ctl(3)};
    controllers(three);
    ToolRun run = tool(WRITE_ARGS, "1\n3\n");
    std::string scan = head() + REQUEST_DUMP + responseDump(1, three[0]) + responseDump(2, three[1]) +
                       responseDump(3, three[2]) + TIMEOUT + countLine(3);
    EXPECT_EQ(run.out, scan + TABLE_HEAD + row(1, three[0]) + row(2, three[1]) + row(3, three[2]) + PROMPT +
                           settingDump(three[2], "192.168.1.99", "192.168.1.254", "255.255.0.0") + PAUSE);
    EXPECT_EQ(run.exitCode, 255);

    run = tool({"-R", "-T", "1"}, "1\n");
    Ctl moved = three[2];
    moved.ip = "192.168.1.99";
    moved.gw = "192.168.1.254";
    moved.mask = "255.255.0.0";
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, three[0]) + responseDump(2, three[1]) +
                           responseDump(3, moved) + TIMEOUT + countLine(3) + PAUSE);

    EXPECT_EQ(received(), REQUEST_LOG + settingLog({0x00, 0x1a, 0x2b, 0x3c, 0x00, 0x03, 0,   0,   192, 168,
                                                    1,    99,   192,  168,  1,    254,  255, 255, 0,   0}) +
                              REQUEST_LOG);
}

// Anything but a number of a row sends nothing.
TEST_F(Assignment, WrongEntries)
{
    std::vector<Ctl> three = {ctl(1), ctl(2), ctl(3)};
    controllers(three);
    std::string scan = head() + REQUEST_DUMP + responseDump(1, three[0]) + responseDump(2, three[1]) +
                       responseDump(3, three[2]) + TIMEOUT + countLine(3) + TABLE_HEAD + row(1, three[0]) +
                       row(2, three[1]) + row(3, three[2]) + PROMPT;
    std::string requests;
    for (const char* input :
         {"1\n0\n", "1\n4\n", "1\nx\n", "1\n", "1x\n", "1\n4294967297\n", "1\n99999999999999999999999\n"}) {
        ToolRun run = tool(WRITE_ARGS, input);
        EXPECT_EQ(run.out, scan + WRONG_ENTRY + PAUSE) << input;
        EXPECT_EQ(run.exitCode, 255);
        requests += REQUEST_LOG;
    }
    EXPECT_EQ(received(), requests);
}

// "12" at the interface prompt: interface 1, then controller 2 without further input. With only
// -W -T the addresses are zero.
TEST_F(Assignment, RestOfTheInterfaceLineChoosesTheController)
{
    std::vector<Ctl> three = {ctl(1), ctl(2), ctl(3)};
    controllers(three);
    ToolRun run = tool({"-W", "-T", "1"}, "12\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, three[0]) + responseDump(2, three[1]) +
                           responseDump(3, three[2]) + TIMEOUT + countLine(3) + TABLE_HEAD + row(1, three[0]) +
                           row(2, three[1]) + row(3, three[2]) + PROMPT +
                           settingDump(three[1], "0.0.0.0", "0.0.0.0", "0.0.0.0") + PAUSE);
    EXPECT_EQ(received(),
              REQUEST_LOG + settingLog({0x00, 0x1a, 0x2b, 0x3c, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// A datagram too short to carry a MAC takes a row with a zero MAC: choosing it names no controller,
// never the one that answered before it.
TEST_F(Assignment, ShortDatagramRowSendsAZeroMac)
{
    Ctl header = ctl(2);
    header.extra = "size=10,delay=300";
    controllers({ctl(1), header});
    ToolRun run = tool({"-W", "-I", "10.1.1.9", "-T", "1"}, "1\n2\n");
    Ctl zero = header;
    zero.mac = "00.00.00.00.00.00";
    EXPECT_NE(run.out.find(row(2, zero)), std::string::npos);
    EXPECT_EQ(received(), REQUEST_LOG + settingLog({0, 0, 0, 0, 0, 0, 0, 0, 10, 1, 1, 9, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// One controller answering twice takes two rows; either row names the same controller.
TEST_F(Assignment, DuplicateRowsSendTheSameMac)
{
    Ctl twice = ctl(7);
    twice.extra = "repeat=2";
    controllers({twice});
    std::string setting = settingLog({0x00, 0x1a, 0x2b, 0x3c, 0x00, 0x07, 0, 0, 10, 1, 1, 9, 0, 0, 0, 0, 0, 0, 0, 0});
    Ctl shown = twice;
    for (const char* choice : {"1\n1\n", "1\n2\n"}) {
        ToolRun run = tool({"-w", "-i", "10.1.1.9", "-t", "1"}, choice);
        EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, shown) + responseDump(2, shown) + TIMEOUT +
                               countLine(2) + TABLE_HEAD + row(1, twice) + row(2, twice) + PROMPT +
                               settingDump(twice, "10.1.1.9", "0.0.0.0", "0.0.0.0") + PAUSE)
            << choice;
        // From now on it reports what the setting gave it.
        shown.ip = "10.1.1.9";
        shown.gw = shown.mask = "0.0.0.0";
    }
    EXPECT_EQ(received(), REQUEST_LOG + setting + REQUEST_LOG + setting);
}
