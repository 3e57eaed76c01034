#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/address.h"
#include "protocol/messages.h"

using Bytes = std::vector<unsigned char>;

// A refused text leaves the output as it was.
TEST(Address, Ipv4AndMacTexts)
{
    const struct {
        bool mac;
        const char* text;
        Bytes expected;   // empty: refused
    } cases[] = {
        {false, "10.0.0.5", {10, 0, 0, 5}},
        {false, "255.255.255.255", {255, 255, 255, 255}},
        {false, "0.0.0.0", {0, 0, 0, 0}},
        {false, "192.168.1", {}},
        {false, "0x7f.0.0.1", {}},
        {false, "10.0.0.010", {}},
        {false, "10.0.0.256", {}},
        {false, "10.0.0.5 ", {}},
        {false, "", {}},
        {true, "00:1a:2B:3c:4d:5E", {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}},
        {true, "00.1a.2b.3c.4d.ff", {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0xff}},
        {true, "0:1a:2b:3c:4d:5e", {}},
        {true, "00:1a:2b:3c:4d", {}},
        {true, "00:1a:2b:3c:4d:5e:6f", {}},
        {true, "00-1A-2b-3c-4d-5e", {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}},
        {true, "001A2b3c4d5e", {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}},
        {true, "00:1a:2b:3c:4d:5g", {}},
        {true, "00:1a.2b:3c:4d:5e", {}},
        {true, "00-1a-2b-3c-4d:5e", {}},
        {true, "00_1a_2b_3c_4d_5e", {}},
        {true, "001a2b3c4d5", {}},
        {true, "001a2b3c4d5e6", {}},
        {true, "001a2b3c4d5g", {}},
        {true, "00:1a:2b:3c:4d:5", {}},
        {true, "", {}},
    };
    for (const auto& c : cases) {
        Bytes out(c.mac ? MAC_LEN : IPV4_LEN, 0xEE);
        bool ok = c.mac ? parseMac(c.text, out.data()) : parseIpv4(c.text, out.data());
        EXPECT_EQ(ok, !c.expected.empty()) << c.text;
        EXPECT_EQ(out, ok ? c.expected : Bytes(out.size(), 0xEE)) << c.text;
    }
}
