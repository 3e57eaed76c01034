#include <gtest/gtest.h>

#include <functional>

#include "protocol/messages.h"
#include "report/console.h"
#include "report/device_text.h"
#include "report/fields.h"
#include "support/capture.h"
#include "support/controls.h"
#include "support/response.h"

static const unsigned char SENDER[IPV4_LEN] = {192, 168, 1, 20};
static const unsigned char MAC[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};

static const char FULL_RESPONSE_DUMP[] =
    "\n\n1. response is received from the \nIP Address: 192.168.1.20 \nMAC-Address: 00.1a.2b.3c.4d.5e\n\n"
    "********************************\n\tReceived Message\n********************************\n\n"
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
    "\nVersion Nummer\t\t: 1.0.0.8"
    "\nNode Name\t\t: Hall-North\n\n";

TEST(Dump, Request)
{
    unsigned char request[REQUEST_LEN];
    buildRequest(request);
    EXPECT_EQ(capture([&](FILE* out) { dumpRequest(out, request); }),
              "\n*************************************\n\tSent Request Message\n"
              "*************************************\n\n"
              "Bytes Sent\t: 16\nProtocol ID\t: VKDA\nProtocol Version: 1.00"
              "\nMessage Type\t: Multicast Request\nIndex\t\t: 00 00 \n\n");
}

TEST(Dump, FullResponse)
{
    unsigned char buf[RECV_LEN];
    makeResponse(buf);
    EXPECT_EQ(capture([&](FILE* out) { dumpResponse(out, 1, SENDER, decoded(buf, RECV_LEN)); }), FULL_RESPONSE_DUMP);
}

// Each case changes the full response and names the one line of the dump that changes.
struct ResponseCase {
    const char* what;
    long bytes;
    std::function<void(unsigned char*)> change;
    const char* from;
    const char* to;
};

TEST(Dump, ResponseVariants)
{
    // clang-format off
    const ResponseCase cases[] = {
        {"other type bytes", RECV_LEN, [](unsigned char* b) { b[HDR_TYPE + 1] = 0x05; },
         "Message Type\t\t: Unicast Response", "Message Type\t\t: 01 05 "},
        {"first type byte off", RECV_LEN, [](unsigned char* b) { b[HDR_TYPE] = 0x02; },
         "Message Type\t\t: Unicast Response", "Message Type\t\t: 02 01 "},
        {"bytes received as reported", 0, [](unsigned char*) {},
         "Bytes Received\t\t: 70", "Bytes Received\t\t: 0"},
        {"version minor two digits", RECV_LEN, [](unsigned char* b) { b[HDR_VERSION_MAJOR] = 2; b[HDR_VERSION_MINOR] = 7; },
         "Version\t: 1.00", "Version\t: 2.07"},
        {"one node id byte differs", RECV_LEN, [](unsigned char* b) { b[RSP_NODE_ID + 1] = 0x44; },
         "43 43 -> Morvesta", "43 44"},
        {"node type differs", RECV_LEN, [](unsigned char* b) { b[RSP_NODE_TYPE + 1] = 0x01; },
         "09 00 -> K4Z", "09 01"},
        {"high bytes shown unsigned", RECV_LEN, [](unsigned char* b) { b[RSP_VERSION] = 200; b[RSP_VERSION + 3] = 255; },
         "Nummer\t\t: 1.0.0.8", "Nummer\t\t: 200.0.0.255"},
        {"name without terminator is cut at the buffer's end", RECV_LEN,
         [](unsigned char* b) { memset(b + RSP_NODE_NAME, 'A', NODE_NAME_LEN); },
         "Hall-North\n", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n"},
        {"escape sequence in the name", RECV_LEN,
         [](unsigned char* b) { memcpy(b + RSP_NODE_NAME, "\x1b[2J\x07\x7f\xe9x", 8); },   // NOLINT(bugprone-not-null-terminated-result)
         "Hall-North", "?[2J??\xe9xth"},
        {"C1 controls, alone and UTF-8 encoded; 0xA0 on as they are", RECV_LEN,
         [](unsigned char* b) { memcpy(b + RSP_NODE_NAME, "\x80\x9b\xc2\x9d\x9f\xa0\xff", 8); },
         "Hall-North", "????\xa0\xff"},
        {"UTF-8 in the protocol ID, cut by its end", RECV_LEN,
         [](unsigned char* b) { memcpy(b, "V\xc3\x9f\xe7", 4); },   // NOLINT(bugprone-not-null-terminated-result)
         "Protocol ID\t\t: VKDA", "Protocol ID\t\t: V\xc3\x9f\xe7"},
        {"control bytes in the protocol ID", RECV_LEN,
         [](unsigned char* b) { b[0] = 0x00; b[1] = 0x1b; b[2] = 0x1f; b[3] = 0x20; },
         "Protocol ID\t\t: VKDA", "Protocol ID\t\t: ??? "},
    };
    // clang-format on
    for (const ResponseCase& c : cases) {
        unsigned char buf[RECV_LEN];
        makeResponse(buf);
        c.change(buf);
        std::string expected = FULL_RESPONSE_DUMP;
        size_t at = expected.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.what;
        expected.replace(at, strlen(c.from), c.to);
        EXPECT_EQ(capture([&](FILE* out) { dumpResponse(out, 1, SENDER, decoded(buf, c.bytes)); }), expected) << c.what;
    }
}

// Nothing is read beyond the size given: a field cut by it keeps its first bytes, the rest is zero.
TEST(Dump, DecodeReadsNothingBeyondTheGivenSize)
{
    unsigned char buf[RECV_LEN + 8];
    memset(buf, 'B', sizeof buf);
    Response r;
    decodeResponse(buf, RECV_LEN, RECV_LEN, &r);
    EXPECT_EQ(std::string((const char*)r.nodeName), std::string(NODE_NAME_LEN, 'B'));
    decodeResponse(buf, RSP_MASK + 2, 0, &r);
    EXPECT_EQ(capture([&](FILE* out) { printIpv4(out, r.mask); }), "66.66.0.0");
    EXPECT_EQ(r.version[0] + r.nodeName[0], 0);
}

TEST(Dump, Setting)
{
    unsigned char setting[SETTING_LEN];
    buildSettingHeader(setting);
    const unsigned char ip[IPV4_LEN] = {192, 168, 10, 7};
    const unsigned char gw[IPV4_LEN] = {192, 168, 10, 1};
    setSettingTarget(setting, MAC);
    setSettingAddress(setting, SET_IP, ip);
    setSettingAddress(setting, SET_GATEWAY, gw);
    EXPECT_EQ(capture([&](FILE* out) { dumpSetting(out, setting); }),
              "\n********************************************\n\tSent Address Setting Message\n"
              "********************************************\n\n"
              "Bytes Sent\t: 28\nProtocol ID\t: VKDA\nProtocol Version: 1.00"
              "\nMessage Type\t: Multicast Address Setting"
              "\nMac Address\t: 00.1a.2b.3c.4d.5e "
              "\nIp Address\t: 192.168.10.7\nGateway Address\t: 192.168.10.1\nMask Address\t: 0.0.0.0\n\n");
}

// Whatever a datagram holds, the dumps carry no control character (C0, DEL or C1, as a byte or in
// UTF-8) but the layout's own line ends and tabs: nothing from the network can drive the terminal.
TEST(Dump, RandomDatagramsNeverReachTheTerminalAsControlBytes)
{
    srand(20662);
    unsigned char buf[RECV_LEN];
    for (int round = 0; round < 2000; ++round) {
        for (unsigned char& b : buf) {
            b = (unsigned char)(rand() % 256);
        }
        std::string text = capture([&](FILE* out) { dumpResponse(out, 1, SENDER, decoded(buf, rand() % 71)); });
        size_t at = controlAt((const unsigned char*)text.data(), text.size());
        ASSERT_EQ(at, std::string::npos) << "byte " << (int)(unsigned char)text[at];
    }
}

static const std::string GROESSE = "Gr\xc3\xb6\xc3\x9f\x65 \xe6\xb3\xb5\xe7\xab\x99";   // Größe 泵站, 10 columns

// Device text to its safe form, character by character; nullptr: kept as it is.
TEST(DeviceText, SafeForm)
{
    const struct {
        const char* what;
        std::string in;
        const char* out;
    } cases[] = {
        {"two- and three-byte", GROESSE, nullptr},
        {"four-byte, the highest", "\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", nullptr},
        {"no-break space, the first after C1", "\xc2\xa0", nullptr},
        {"bytes 0xA0-0xFF of no sequence", "\xa0\xbf\xc3(\xe9 \xff", nullptr},
        {"overlong slash", "\xc0\xaf", nullptr},
        {"two-byte cut at the end", "A\xc3", nullptr},
        {"three-byte cut at the end", "\xe7\xab", nullptr},
        {"C1 in UTF-8 is one '?'", "\xc2\x9b[1m", "?[1m"},
        {"C1 bytes alone", "\x9b[1m\x80", "?[1m?"},
        {"overlong three-byte slash", "\xe0\x80\xaf", "\xe0?\xaf"},
        {"overlong C1", "\xc1\x9b", "\xc1?"},
        {"surrogate", "\xed\xa0\x80", "\xed\xa0?"},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "\xf4???"},
        {"four-byte cut at the end", "x\xf0\x9f\x98", "x\xf0??"},
        {"C0, DEL, a zero byte", std::string("\x01\x1b[\x7f\0x", 6), "??[??x"},
    };
    for (const auto& c : cases) {
        char out[64] = "";
        EXPECT_EQ(appendSafeText(out, sizeof out, (const unsigned char*)c.in.data(), c.in.size()), c.in.size());
        EXPECT_EQ(std::string(out), c.out != nullptr ? c.out : c.in) << c.what;
    }
}

// Cut by a character count or by the buffer, always between characters; appended to what is there.
TEST(DeviceText, CutOnCharacters)
{
    const struct {
        size_t capacity, maxChars;
        const char* out;
        size_t taken;
    } cases[] = {
        {64, 7, ">Gr\xc3\xb6\xc3\x9f\x65 \xe6\xb3\xb5", 11},
        {6, 9, ">Gr\xc3\xb6", 4},
        {5, 9, ">Gr", 2},   // no room for the whole of the next character
        {64, 0, ">", 0},
    };
    for (const auto& c : cases) {
        char out[64] = ">";
        EXPECT_EQ(appendSafeText(out, c.capacity, (const unsigned char*)GROESSE.data(), GROESSE.size(), c.maxChars),
                  c.taken);
        EXPECT_STREQ(out, c.out) << c.capacity << " " << c.maxChars;
    }
}

TEST(DeviceText, DisplayWidth)
{
    const std::pair<std::string, size_t> cases[] = {
        {"Hall-North", 10},
        {GROESSE, 10},
        {"e\xcc\x81", 1},              // combining acute
        {"\xf0\x9f\x98\x80\xff", 3},   // a wide emoji, a byte of no sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(displayWidth(c.first.data(), c.first.size()), c.second) << c.first;
    }
}
