#include "e2e/harness.h"

using CommandLine = Network;

TEST_F(CommandLine, TimeoutAndFileTakeEffect)
{
    controllers({});
    ToolRun run = tool({"-r", "-t", "1", "-f", "out.txt"}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + TIMEOUT + countLine(0) + PAUSE);
    EXPECT_TRUE(fileExists(dir + "/out.txt"));
    EXPECT_GE(run.seconds, 1.0);
    EXPECT_LT(run.seconds, 3.0);
}

// A zero time-out only polls; a negative one behaves the same instead of failing the wait.
TEST_F(CommandLine, ZeroAndNegativeTimeoutsPoll)
{
    controllers({});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-T", "0"}, {"-W", "-T", "0"}, {"-R", "-T", "-5"}}) {
        ToolRun run = tool(args, "1\n");
        EXPECT_EQ(run.out, head() + REQUEST_DUMP + TIMEOUT + countLine(0) + PAUSE) << args[1];
        EXPECT_LT(run.seconds, 0.9) << args[1];
    }
}

// Option errors end the run before the network: nothing is sent, an earlier -F file stays empty.
TEST_F(CommandLine, ErrorsTouchNoNetwork)
{
    controllers({ctl(1)});
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-R", "-F", "out.txt", "-X", "1"}, "Illegal parameter!!!\nAfter - you have to choose the option T or F\n"},
        {{"-W", "-I", "10.0.0.256"}, "Illegal parameter!!!\nAfter -I the address 10.0.0.256 is not valid.\n"},
        {{"-W", "-T", "1", "-M", "255.255.255.0x"},
         "Illegal parameter!!!\nAfter -M the address 255.255.255.0x is not valid.\n"},
        {{"-R", "-F", "missing/out.txt"},
         "Illegal parameter!!!\nThe file missing/out.txt can not be opened: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        ToolRun run = tool(c.args, "1\n");
        EXPECT_EQ(run.out, BANNER + c.out + PAUSE) << c.args[1];
        EXPECT_EQ(run.exitCode, 255);
    }
    EXPECT_TRUE(fileExists(dir + "/out.txt"));
    EXPECT_EQ(readFile(dir + "/out.txt"), "");
    EXPECT_EQ(received(), "");
}
