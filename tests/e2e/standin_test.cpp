// The stand-in's own options: its version, controllers that lose datagrams (loss=, --seed), and
// the moments of start= and silent=.
#include <cstring>

#include "e2e/harness.h"

#ifndef STANDIN_PATH
#error STANDIN_PATH must name the stand-in executable
#endif
#ifndef BREVINDOR_VERSION
#error BREVINDOR_VERSION must be the project version
#endif

// Printed before the namespace guard looks, so it needs no namespace.
TEST(StandInOptions, VersionIsTheProjectVersion)
{
    ToolRun run = runProgram(STANDIN_PATH, {"--version"}, "", makeTempDir());
    EXPECT_EQ(run.out, std::string("brevindor-standin ") + BREVINDOR_VERSION + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
}

using Loss = Network;

// A controller that loses everything is never found; the request still reached the socket, so the
// log has it, and the answer it did not send is not counted.
TEST_F(Loss, EverythingLostIsNeverFound)
{
    Ctl lossy = ctl(2);
    lossy.extra = "loss=1";
    controllers({ctl(1), lossy});
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, ctl(1)) + TIMEOUT + countLine(1) + PAUSE);
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(received(), REQUEST_LOG);
    EXPECT_EQ(standIn.lastWords.compare(0, 7, "sent 1 "), 0) << standIn.lastWords;
}

// With the same seed the same answers are lost: two runs show the same responses, some but not all.
TEST_F(Loss, SeededLossesRepeat)
{
    Ctl chatty = ctl(1);
    chatty.extra = "loss=0.5,repeat=20";
    std::string outs[2];
    for (std::string& out : outs) {
        controllers({chatty}, {"--seed", "7"});
        out = tool({"-R", "-T", "1"}, "1\n").out;
        received();
    }
    EXPECT_EQ(outs[0], outs[1]);
    int shown = 0;
    std::string dumps;
    while (outs[0].find(responseDump(shown + 1, chatty)) != std::string::npos) {
        dumps += responseDump(++shown, chatty);
    }
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 20);
    EXPECT_EQ(outs[0], head() + REQUEST_DUMP + dumps + TIMEOUT + countLine(shown) + PAUSE);
}

using Moments = Network;

// Moments counted in milliseconds: off from the start for a minute, on only after a minute, and
// on from 0 ms: only the last is heard.
TEST_F(Moments, InMillisecondsSinceReady)
{
    const char* const extras[] = {"silent=0ms-60000ms", "start=60000ms", "start=0ms"};
    std::vector<Ctl> list;
    for (int k = 1; k <= 3; ++k) {
        list.push_back(ctl(k));
        list.back().extra = extras[k - 1];
    }
    controllers(list);
    ToolRun run = tool({"-R", "-T", "1"}, "1\n");
    EXPECT_EQ(run.out, head() + REQUEST_DUMP + responseDump(1, list[2]) + TIMEOUT + countLine(1) + PAUSE);
}

// A moment is a request number from 1 or a whole number of ms; a silence ends after it began and
// in the same kind. Anything else is refused, naming the key.
TEST_F(Moments, MalformedRefused)
{
    const char* const refused[] = {
        "start=0",    "start=x",     "start=ms",   "start=-1",       "change=1ms1",    "silent=3",
        "silent=0-2", "silent=5-3",  "silent=5-4", "silent=100ms-3", "silent=3-100ms", "silent=100ms-100ms",
        "silent=-",   "newip=1.2.3", "newmask=",
    };
    for (const char* keys : refused) {
        ToolRun run = runProgram(STANDIN_PATH, {"--controller", keys}, "", dir);
        std::string key(keys, strchr(keys, '=') - keys);
        std::string value(strchr(keys, '=') + 1);
        EXPECT_EQ(run.err, "brevindor-standin: controller 0: bad value for " + key + ": '" + value + "'\n") << keys;
        EXPECT_EQ(run.exitCode, 2) << keys;
    }
}
