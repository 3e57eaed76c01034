#include <gtest/gtest.h>

#include "protocol/messages.h"
#include "report/response_file.h"
#include "support/capture.h"
#include "support/response.h"

static const unsigned char SENDER[IPV4_LEN] = {10, 0, 0, 42};
static const unsigned char MAC[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};

static const char FULL_RECORD[] =
    "\n\n2. response is received from the IP Address: 10.0.0.42 MAC-Address: 00.1a.2b.3c.4d.5e\n\n"
    "*********************************\n\tReceived Message\n*********************************\n\n"
    "Bytes Received\t\t: 70\nProtocol ID\t\t: VKDA"
    "\nProtocol Version\t: 1.00"
    "\nMessage Type\t\t: Unicast Response"
    "\nIndex\t\t\t: 00 07 "
    "\nMac-Addresse\t\t: 00.1a.2b.3c.4d.5e"
    "\nIP-Adresse\t\t: 192.168.1.20"
    "\nIP-Gateway\t\t: 192.168.1.1"
    "\nIP-Mask\t\t\t: 255.255.255.0"
    "\nNode Identification\t: 43 43 -> Morvesta"
    "\nNode Identification Type: 09 00 -> K4Z"
    "\nVersion Number\t\t: 1.0.0.8"
    "\nNode Name\t\t: Hall-North\n\n";

TEST(ResponseFile, ResponseRecords)
{
    const struct {
        const char* what;
        long bytes;
        unsigned char type;
        const char* from;
        const char* to;
    } cases[] = {
        {"full response", RECV_LEN, TYPE_RESPONSE, "", ""},
        {"empty datagram", 0, TYPE_RESPONSE, "Received\t\t: 70", "Received\t\t: 0"},
        {"other type bytes", RECV_LEN, 0x09, "Type\t\t: Unicast Response", "Type\t\t: 01 09 "},
    };
    for (const auto& c : cases) {
        unsigned char buf[RECV_LEN];
        makeResponse(buf, "Hall-North");
        buf[HDR_TYPE + 1] = c.type;
        std::string expected = FULL_RECORD;
        if (*c.from != '\0') {
            expected.replace(expected.find(c.from), strlen(c.from), c.to);
        }
        EXPECT_EQ(capture([&](FILE* f) { writeResponse(f, 2, SENDER, decoded(buf, c.bytes)); }), expected) << c.what;
    }
}

TEST(ResponseFile, CountRecords)
{
    const std::pair<int, const char*> cases[] = {
        {0, "\nThere are no online controllers."},
        {1, "\nThere is only 1 online controller.\n\n"},
        {37, "\nThere are 37 online controllers.\n\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(capture([&](FILE* f) { writeCount(f, c.first); }), c.second) << c.first;
    }
}

TEST(ResponseFile, SettingRecord)
{
    unsigned char setting[SETTING_LEN];
    buildSettingHeader(setting);
    const unsigned char ip[IPV4_LEN] = {172, 16, 0, 9};
    const unsigned char mask[IPV4_LEN] = {255, 255, 0, 0};
    setSettingTarget(setting, MAC);
    setSettingAddress(setting, SET_IP, ip);
    setSettingAddress(setting, SET_MASK, mask);
    EXPECT_EQ(capture([&](FILE* f) { writeSetting(f, setting); }),
              "\n******************************************************\n\tSent Message for setting the Addresses\n"
              "******************************************************\n\n"
              "Bytes Sent\t: 28\nProtocol ID\t: VKDA\nProtocol Version: 1.00\nMessage Type\t: Multicast Address Setting"
              "\nMac Address\t: 00.1a.2b.3c.4d.5e \nIp Address\t: 172.16.0.9\nGateway Address\t: 0.0.0.0"
              "\nMask Address\t: 255.255.0.0\n\n");
}
