#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/options.h"
#include "report/fields.h"
#include "support/argv.h"
#include "support/capture.h"

static const std::string ILLEGAL = "Illegal parameter!!!\n";
static const std::string USAGE =
    "Illegal parameter!!!\nPlease type option\n\n"
    "-T and the value in terms of seconds (Default value is 5 seconds) to change the Timeout value.\n\n"
    "-R to read the values from each controllers. Additionally you can type\n\n"
    "\t-F and file name to save the response to a file.\n\n"
    "\t-T and the value in terms of seconds (Default value is 5 seconds) to change the Timeout value\n\n"
    "-W to set IP-address, Mask or Gateway values and after that type \n\n"
    "\t-I to set the IP address or \n\t-M to set the Mask or \n\t-G to set the Gateway\n\n"
    "\t-F and file name to save the response to a file.\n\n"
    "\t-T and the value in terms of seconds (Default value is 5 seconds) to change the Timeout value\n";
static const std::string NO_MODE = ILLEGAL + "Please type option\n\nT, R, W\n";
static const std::string NO_TIMEOUT = ILLEGAL + "After -T you have to specify the Timeout value in terms of seconds\n";
static const std::string NOT_A_NUMBER = ILLEGAL + "After -T you have to type a number\n";
static const std::string NO_FILE = ILLEGAL + "After -F you have to specify the file name\n";
static const std::string READ_NOT_OPTION = ILLEGAL + "\nType -T, -F or nothing.\n";
static const std::string READ_BAD_LETTER = ILLEGAL + "After - you have to choose the option T or F\n";
static const std::string WRITE_NOTHING =
    ILLEGAL +
    "After -W you have to specify what you want set \n\t-I to set the IP address or \n"
    "\t-M to set the Mask or \n\t-G to set the Gateway\n\n\n\t-F and file name to save the response to a file.\n\n"
    "\t-T and the value in terms of seconds (Default value is 5 seconds) to change the Timeout value\n";
static const std::string WRITE_NOT_OPTION = ILLEGAL + "After -W Type one of these options: -I, -G, -M, -F, -T\n";
static const std::string WRITE_BAD_LETTER = ILLEGAL + "After - type I, G, M, F, T\n";

struct OptionCase {
    std::vector<std::string> args;   // after the program name
    std::string out;                 // empty: accepted
    long seconds = 5;
    bool write = false;
    std::string ip = "0.0.0.0", gw = "0.0.0.0", mask = "0.0.0.0";
    std::string file;   // the file that receives the records
};

static std::string readFileText(const std::string& path)
{
    std::string text;
    if (FILE* f = fopen(path.c_str(), "r")) {
        char buf[256];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
            text.append(buf, n);
        }
        fclose(f);
    }
    return text;
}

// Descriptors this process has open.
static int openDescriptors()
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

static std::string dotted(const unsigned char* a)
{
    return capture([&](FILE* out) { printIpv4(out, a); });
}

TEST(Options, EveryMessageAndSetting)
{
    const long MAX32 = INT_MAX, MIN32 = INT_MIN;
    // clang-format off
    std::vector<OptionCase> cases = {
        {{"scan"}, USAGE},
        {{""}, USAGE},
        {{"-"}, NO_MODE},
        {{"-X"}, NO_MODE},
        {{"-T"}, NO_TIMEOUT},
        {{"-T", "3", "-W"}, "", 3},
        {{"-Timeout", "4"}, "", 4},
        {{"-t", "0"}, "", 0},
        {{"-T", "abc"}, "", 0},
        {{"-T", "  +7x"}, "", 7},
        {{"-T", "99999999999"}, "", MAX32},
        {{"-T", "-99999999999"}, "", MIN32},
        {{"-R"}, ""},
        {{"-Read"}, ""},
        {{"-r", "-t", "10"}, "", 10},
        {{"-R", "-T", "2", "-T", "-3"}, "", -3},
        {{"-R", "-T", "0"}, NOT_A_NUMBER, 0},
        {{"-R", "-T", "abc"}, NOT_A_NUMBER, 0},
        {{"-R", "-T"}, NO_TIMEOUT},
        {{"-R", "-F"}, NO_FILE},
        {{"-R", "x"}, READ_NOT_OPTION},
        {{"-R", "-X", "1"}, READ_BAD_LETTER},
        {{"-R", "-", "1"}, READ_BAD_LETTER},
        {{"-R", "-T", "3", "-X", "1", "-T", "9"}, READ_BAD_LETTER, 3},
        {{"-R", "-F", "-T"}, "", 5, false, "0.0.0.0", "0.0.0.0", "0.0.0.0", "-T"},
        {{"-R", "-F", "out.txt", "-X", "1"}, READ_BAD_LETTER, 5, false, "0.0.0.0", "0.0.0.0", "0.0.0.0", "out.txt"},
        {{"-r", "-f", "a.txt", "-F", "b.txt"}, "", 5, false, "0.0.0.0", "0.0.0.0", "0.0.0.0", "b.txt"},
        {{"-W"}, WRITE_NOTHING},
        {{"-Write", "-T", "5"}, "", 5, true},
        {{"-W", "-T", "0"}, "", 0, true},
        {{"-W", "x"}, WRITE_NOT_OPTION, 5, true},
        {{"-W", "-I", "10.0.0.5", "-X"}, WRITE_BAD_LETTER, 5, true, "10.0.0.5"},
        {{"-w", "-i", "10.0.0.5", "-g", "10.0.0.1", "-m", "255.255.255.0"}, "", 5, true,
         "10.0.0.5", "10.0.0.1", "255.255.255.0"},
        {{"-W", "-Ip", "1.2.3.4", "-I", "5.6.7.8"}, "", 5, true, "5.6.7.8"},
        {{"-W", "-I", "255.255.255.255"}, "", 5, true, "255.255.255.255"},
        {{"-W", "-M", "10.0.0.256"}, ILLEGAL + "After -M the address 10.0.0.256 is not valid.\n", 5, true},
        {{"-W", "-G", "gateway", "-I", "10.0.0.5"}, ILLEGAL + "After -G the address gateway is not valid.\n", 5, true},
        {{"-W", "-I"}, ILLEGAL + "After -I you have to specify the new IP address to set.\n", 5, true},
        {{"-W", "-G"}, ILLEGAL + "After -G you have to specify the new Gateway address to set.\n", 5, true},
        {{"-W", "-M"}, ILLEGAL + "After -M you have to specify the new Mask address to set.\n", 5, true},
        {{"-W", "-F"}, NO_FILE, 5, true},
        {{"-W", "-T"}, NO_TIMEOUT, 5, true},
        {{"-W", "-T", "2", "-F", "w.txt", "-Q", "1", "-T", "9"}, WRITE_BAD_LETTER, 2, true,
         "0.0.0.0", "0.0.0.0", "0.0.0.0", "w.txt"},
        {{"-R", "-F", "no/such/dir/x.txt", "-T", "9"},
         ILLEGAL + "The file no/such/dir/x.txt can not be opened: No such file or directory\n"},
    };
    // clang-format on

    char dir[] = "/tmp/brevindor-options-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    for (const OptionCase& c : cases) {
        Argv args(c.args);
        std::string name;
        for (const std::string& a : c.args) {
            name += "'" + a + "' ";
        }
        static RunState rs;
        initRunState(rs);
        int descriptorsBefore = openDescriptors();
        bool ok = true;
        std::string out = capture([&](FILE* f) { ok = readOptions(rs, args.argc(), args.argv(), f); });
        EXPECT_EQ(out, c.out) << name;
        EXPECT_EQ(ok, c.out.empty()) << name;
        EXPECT_EQ(rs.t.tv_sec, c.seconds) << name;
        EXPECT_EQ(rs.writeMode, c.write) << name;
        EXPECT_EQ(dotted(rs.bufferSetting + SET_IP), c.ip) << name;
        EXPECT_EQ(dotted(rs.bufferSetting + SET_GATEWAY), c.gw) << name;
        EXPECT_EQ(dotted(rs.bufferSetting + SET_MASK), c.mask) << name;
        EXPECT_EQ(rs.fileOutput, !c.file.empty()) << name;
        if (rs.fileOutput) {
            // The records go to the named file, created empty.
            fprintf(rs.file, "mark");
            fclose(rs.file);
            EXPECT_EQ(readFileText(c.file), "mark") << name;
        }
        // Only the file that receives the records was left open: a repeated -F closes the earlier.
        EXPECT_EQ(openDescriptors(), descriptorsBefore) << name;
    }
}

// Only four decimal numbers of 0 to 255 without leading zeros are taken as an address: other forms
// the dotted conversion accepts would set a different address than the one typed.
TEST(Options, AddressesAreDottedDecimalOnly)
{
    const char* accepted[] = {"0.0.0.0", "10.0.0.5", "192.168.1.10", "255.255.255.255", "1.20.0.199"};
    const char* refused[] = {"192.168.001.010", "192.168.1", "1.2.3",    "0x7f.0.0.1", "10.0.0.1 ", "10.0.0.1 x",
                             "10.0.0.1.",       ".10.0.0.1", "10..0.1",  "1.2.3.4.5",  "",          "256.0.0.1",
                             "10.0.0.-1",       "+1.2.3.4",  "1.2.3.00", "9999.0.0.1", "1.2.3.4a",  "017.0.0.1"};
    static RunState rs;
    for (const char* text : accepted) {
        initRunState(rs);
        Argv args({"-W", "-I", text});
        EXPECT_EQ(capture([&](FILE* f) { EXPECT_TRUE(readOptions(rs, args.argc(), args.argv(), f)); }), "") << text;
        EXPECT_EQ(dotted(rs.bufferSetting + SET_IP), text);
    }
    for (const char* text : refused) {
        initRunState(rs);
        Argv args({"-W", "-I", text});
        EXPECT_EQ(capture([&](FILE* f) { EXPECT_FALSE(readOptions(rs, args.argc(), args.argv(), f)); }),
                  ILLEGAL + "After -I the address " + text + " is not valid.\n")
            << text;
        EXPECT_EQ(dotted(rs.bufferSetting + SET_IP), "0.0.0.0") << text;
    }
}
