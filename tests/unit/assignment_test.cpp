#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"
#include "report/console.h"
#include "support/argv.h"
#include "support/capture.h"

using Bytes = std::vector<unsigned char>;

// The whole setting message as the command line and the chosen controller make it.
TEST(Assignment, SettingMessageBytes)
{
    const unsigned char mac[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0xfe};
    const Bytes head = {0x56, 0x4B, 0x44, 0x41, 0x01, 0x00, 0x01, 0x02, 0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0xfe, 0, 0};
    const struct {
        std::vector<std::string> args;
        Bytes addresses;
    } cases[] = {
        {{"-W", "-I", "192.168.10.7", "-G", "192.168.10.1", "-M", "255.255.254.0"},
         {192, 168, 10, 7, 192, 168, 10, 1, 255, 255, 254, 0}},
        {{"-W", "-T", "5"}, Bytes(12, 0)},
        {{"-W", "-M", "255.255.255.255", "-I", "255.255.255.255"},
         {255, 255, 255, 255, 0, 0, 0, 0, 255, 255, 255, 255}},
    };
    for (const auto& c : cases) {
        Argv args(c.args);
        static RunState rs;
        initRunState(rs);
        std::string out = capture([&](FILE* f) { EXPECT_TRUE(readOptions(rs, args.argc(), args.argv(), f)); });
        EXPECT_EQ(out, "");
        setSettingTarget(rs.bufferSetting, mac);
        Bytes expected = head;
        expected.insert(expected.end(), c.addresses.begin(), c.addresses.end());
        EXPECT_EQ(Bytes(rs.bufferSetting, rs.bufferSetting + SETTING_LEN), expected) << c.args[1];
    }
}

TEST(Assignment, TableOfControllers)
{
    static RunState rs;
    initRunState(rs);
    const unsigned char ips[2][IPV4_LEN] = {{127, 0, 0, 2}, {192, 168, 200, 254}};
    const unsigned char macs[2][MAC_LEN] = {{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x01}, {0xff, 0xee, 0x0d, 0x0c, 0x0b, 0xa0}};
    memcpy(rs.table.ulIpAddr, ips, sizeof ips);
    memcpy(rs.table.ulMacAddr, macs, sizeof macs);
    rs.table.responseCount = 2;
    EXPECT_EQ(capture([&](FILE* out) { printControllerTable(out, rs.table); }),
              "**********************************************************************\n"
              "\t\t     Table of Online Controllers\n"
              "**********************************************************************\n\n"
              "Controller Number \t Controller IP-Address \t Controller Mac-Number\n\n"
              "\t1\t\t 127.0.0.2\t\t 00.1a.2b.3c.4d.01\n"
              "\t2\t\t 192.168.200.254\t\t ff.ee.0d.0c.0b.a0\n");
}
