// Ordinary faults met during a run: what the user finds afterwards in the record file, on the
// console, on the terminal and on the network. Each case runs in a namespace of its own.
#include <signal.h>

#include <algorithm>

#include "e2e/harness.h"
#include "support/netns.h"

struct Fault {
    std::string name;
    std::vector<Ctl> ctls;
    std::vector<std::string> args;
    std::string input;
    RunControl control;
    int signal;              // the signal that ends the run; 0: it ends by itself
    std::string file;        // the file of -F afterwards, unless there is none or it is a device
    std::string outEnd;      // how the console output ends
    std::string sent;        // the stand-in's log; unchecked when empty
    bool tinyDisk = false;   // the record file's folder is a full 4 KiB tmpfs
};

// Named by its name in the test's listing.
static void PrintTo(const Fault& f, std::ostream* os)
{
    *os << f.name;
}

static std::string fileFailure(const std::string& name)
{
    return "The response file " + name + " could not be written completely: No space left on device\n";
}

static std::vector<Fault> faults()
{
    const Ctl one = ctl(1);
    Ctl late = ctl(2);
    late.extra = "delay=3000";
    const std::string read = "-R", write = "-W", ip = "-I", f = "-F", rec = "rec.txt", t = "-T";
    const std::vector<std::string> readArgs = {read, f, rec, t, "1"};
    const std::vector<std::string> writeArgs = {write, ip, "10.0.0.9", f, rec, t, "1"};
    const std::string pausePrompt = PAUSE.substr(0, PAUSE.size() - 1);
    std::vector<Fault> cases;
    auto add = [&cases](const std::string& name, const std::vector<Ctl>& ctls, const std::vector<std::string>& args,
                        const std::string& input, const RunControl& control, int signal, const std::string& file,
                        const std::string& outEnd = "", const std::string& sent = "") {
        cases.push_back({name, ctls, args, input, control, signal, file, outEnd, sent});
    };

    // A signal at each stage leaves every record shown; at the pause the terminal is put back.
    const std::pair<int, const char*> signals[] = {{SIGINT, "Int"}, {SIGTERM, "Term"}, {SIGHUP, "Hup"}};
    for (const auto& s : signals) {
        const std::string sig = s.second;
        add("Sig" + sig + "AtTheScan", {one, late}, {read, f, rec, t, "5"}, "1\n",
            RunControl{responseDump(1, one), s.first}, s.first, responseRecord(1, one));
        add("Sig" + sig + "AtTheControllerPrompt", {one}, writeArgs, "1\n",
            RunControl{"which you want to set: ", s.first, false, true}, s.first,
            responseRecord(1, one) + countRecord(1), "", REQUEST_LOG);
        add("Sig" + sig + "AtThePauseOnATerminal", {one}, readArgs, "1\n",
            RunControl{pausePrompt, s.first, false, false, true}, s.first, responseRecord(1, one) + countRecord(1));
    }
    // The reader of stdout goes away: the next response is in the file before the write fails.
    Ctl second = ctl(2);
    second.extra = "delay=1000";
    add("BrokenPipe", {one, second}, {read, f, rec, t, "3"}, "1\n", RunControl{responseDump(1, one), 0, true}, SIGPIPE,
        responseRecord(1, one) + responseRecord(2, second));

    // Failed writes are told once, before the pause.
    add("DevFull", {ctl(1), ctl(2), ctl(3)}, {read, f, "/dev/full", t, "1"}, "1\n", {}, 0, "",
        countLine(3) + fileFailure("/dev/full") + PAUSE);
    std::vector<Ctl> ten;
    std::string records;
    for (int k = 1; k <= 10; ++k) {
        ten.push_back(ctl(k));
        records += responseRecord(k, ctl(k));
    }
    add("FullDisk", ten, {read, f, "disk/rec.txt", t, "1"}, "1\n", {}, 0, records.substr(0, 4096),
        countLine(10) + fileFailure("disk/rec.txt") + PAUSE);
    cases.back().tinyDisk = true;

    // Closed standard descriptors: the record stays the record; no input is end of input.
    add("ClosedStdout", {one}, readArgs, "1\n", RunControl{"", 0, false, false, false, {1}}, 0,
        responseRecord(1, one) + countRecord(1));
    add("ClosedStdin", {one}, readArgs, "", RunControl{"", 0, false, false, false, {0}}, 0, "",
        head() + "Error : Invalid entry...\n" + LOCAL_ADDR_FAILURE + PAUSE);

    // A controller number followed by anything but white space sends nothing.
    const std::vector<Ctl> three = {ctl(1), ctl(2), ctl(3)};
    const std::string scanned =
        responseRecord(1, three[0]) + responseRecord(2, three[1]) + responseRecord(3, three[2]) + countRecord(3);
    const std::pair<const char*, const char*> wrong[] = {
        {"Dash", "1\n1-2\n"}, {"Point", "1\n1.9\n"}, {"Exponent", "1\n1e3\n"}, {"Letters", "1\n2abc\n"}};
    for (const auto& w : wrong) {
        add(std::string("ControllerNumberWith") + w.first, three, writeArgs, w.second, {}, 0, scanned,
            "\nWrong entry!!!\n" + PAUSE, REQUEST_LOG);
    }
    const std::string toSecond =
        REQUEST_LOG + settingLog({0x00, 0x1a, 0x2b, 0x3c, 0x00, 0x02, 0, 0, 10, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0});
    for (const auto& ok : {std::make_pair("Blanks", "1\n 2 "), std::make_pair("EndOfInput", "1\n2")}) {
        add(std::string("ControllerNumberBefore") + ok.first, three, {write, ip, "10.0.0.9", t, "1"}, ok.second, {}, 0,
            "", PAUSE, toSecond);
    }

    // C1 controls in the name, alone and UTF-8 encoded, are shown as one '?' each on the console and
    // in the file.
    Ctl c1 = ctl(1), c1shown = ctl(1);
    c1.name = "A\x9b"
              "2J\xc2\x9d"
              "0;x\xc2\x9c\xa0\xff";
    c1shown.name = "A?2J?0;x?\xa0\xff";
    add("C1ControlsInTheName", {c1}, readArgs, "1\n", {}, 0, responseRecord(1, c1, 70, &c1shown) + countRecord(1),
        REQUEST_DUMP + responseDump(1, c1, 70, &c1shown) + TIMEOUT + countLine(1) + PAUSE);
    // UTF-8 names are kept whole on the console and in the file (Gr\u00f6\u00dfe \u6cf5\u7ad9, \u7ad9).
    Ctl de = ctl(1), zh = ctl(2);
    de.name = "Gr\xc3\xb6\xc3\x9f"
              "e \xe6\xb3\xb5\xe7\xab\x99";
    zh.name = "\xe7\xab\x99";
    add("Utf8Names", {de, zh}, readArgs, "1\n", {}, 0, responseRecord(1, de) + responseRecord(2, zh) + countRecord(2),
        REQUEST_DUMP + responseDump(1, de) + responseDump(2, zh) + TIMEOUT + countLine(2) + PAUSE);
    return cases;
}

class Faults : public Network, public ::testing::WithParamInterface<Fault> {};

TEST_P(Faults, NothingLost)
{
    const Fault& f = GetParam();
    std::string why;
    if (f.tinyDisk && !mountTmpfs(dir + "/disk", "size=4k", &why)) {
        unavailable(why);
        return;
    }
    controllers(f.ctls);
    ToolRun run = tool(f.args, f.input, f.control);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, f.signal);
    EXPECT_EQ(run.exitCode, f.signal == 0 ? 255 : -1);
    EXPECT_TRUE(run.terminalKept);
    EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), f.outEnd.size())), f.outEnd);
    auto record = std::find(f.args.begin(), f.args.end(), "-F");
    if (record != f.args.end() && (*++record)[0] != '/') {
        EXPECT_EQ(readFile(dir + "/" + *record), f.file);
    }
    if (!f.sent.empty()) {
        EXPECT_EQ(received(), f.sent);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Faults, ::testing::ValuesIn(faults()),
                         [](const ::testing::TestParamInfo<Fault>& info) { return info.param.name; });
