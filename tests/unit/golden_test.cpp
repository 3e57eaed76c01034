// Literal datagrams under tests/data, written by hand from the message layout, decoded and shown:
// a field read at a wrong offset changes the text, whatever the shared constants say.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report/console.h"
#include "report/response_file.h"
#include "support/capture.h"

#ifndef TEST_DATA_DIR
#error TEST_DATA_DIR must name tests/data
#endif

static std::string dataFile(const std::string& name)
{
    std::ifstream in(std::string(TEST_DATA_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Hex byte pairs; '#' starts a comment to the end of the line.
static std::vector<unsigned char> datagram(const std::string& name)
{
    std::vector<unsigned char> bytes;
    std::istringstream lines(dataFile(name));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string pair;
        while (words >> pair) {
            bytes.push_back((unsigned char)std::stoul(pair, nullptr, 16));
        }
    }
    return bytes;
}

static const unsigned char SENDER[IPV4_LEN] = {192, 168, 1, 77};

TEST(Golden, Request)
{
    std::vector<unsigned char> request = datagram("request.hex");
    ASSERT_EQ(request.size(), (size_t)REQUEST_LEN);
    unsigned char built[REQUEST_LEN];
    buildRequest(built);
    EXPECT_EQ(std::vector<unsigned char>(built, built + REQUEST_LEN), request);
    EXPECT_EQ(capture([&](FILE* out) { dumpRequest(out, request.data()); }), dataFile("request.console.txt"));
}

TEST(Golden, Responses)
{
    for (const char* name : {"response-full", "response-odd"}) {
        std::vector<unsigned char> data = datagram(std::string(name) + ".hex");
        unsigned char recvbuf[RECV_LEN] = {};
        ASSERT_LE(data.size(), sizeof recvbuf) << name;
        memcpy(recvbuf, data.data(), data.size());
        Response r;
        decodeResponse(recvbuf, RECV_LEN, (long)data.size(), &r);
        EXPECT_EQ(capture([&](FILE* out) { dumpResponse(out, 1, SENDER, r); }),
                  dataFile(std::string(name) + ".console.txt"))
            << name;
    }
    std::vector<unsigned char> full = datagram("response-full.hex");
    Response r;
    decodeResponse(full.data(), (int)full.size(), (long)full.size(), &r);
    EXPECT_EQ(capture([&](FILE* f) { writeResponse(f, 1, SENDER, r); }), dataFile("response-full.file.txt"));
    unsigned char built[RESPONSE_LEN];
    buildResponse(built, r);   // the encoder gives back the hand-written bytes
    EXPECT_EQ(std::vector<unsigned char>(built, built + RESPONSE_LEN), full);
}

TEST(Golden, Setting)
{
    std::vector<unsigned char> setting = datagram("setting.hex");
    ASSERT_EQ(setting.size(), (size_t)SETTING_LEN);
    unsigned char built[SETTING_LEN];
    buildSettingHeader(built);
    const unsigned char mac[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    const unsigned char addresses[3][IPV4_LEN] = {{192, 168, 10, 7}, {192, 168, 10, 1}, {255, 255, 255, 0}};
    setSettingTarget(built, mac);
    setSettingAddress(built, SET_IP, addresses[0]);
    setSettingAddress(built, SET_GATEWAY, addresses[1]);
    setSettingAddress(built, SET_MASK, addresses[2]);
    EXPECT_EQ(std::vector<unsigned char>(built, built + SETTING_LEN), setting);
    EXPECT_EQ(capture([&](FILE* out) { dumpSetting(out, setting.data()); }), dataFile("setting.console.txt"));
    EXPECT_EQ(capture([&](FILE* f) { writeSetting(f, setting.data()); }), dataFile("setting.file.txt"));
}
