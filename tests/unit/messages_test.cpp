#include <gtest/gtest.h>

#include <vector>

#include "app/run_state.h"
#include "protocol/messages.h"

using Bytes = std::vector<unsigned char>;

TEST(Messages, RequestOnTheWire)
{
    unsigned char request[REQUEST_LEN];
    memset(request, 0xEE, sizeof request);
    buildRequest(request);
    Bytes expected = {0x56, 0x4B, 0x44, 0x41, 0x01, 0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(request, request + REQUEST_LEN), expected);
}

TEST(Messages, SettingHeaderAndFields)
{
    unsigned char setting[SETTING_LEN];
    memset(setting, 0xEE, sizeof setting);
    buildSettingHeader(setting);
    Bytes header = {0x56, 0x4B, 0x44, 0x41, 0x01, 0x00, 0x01, 0x02};
    EXPECT_EQ(Bytes(setting, setting + HDR_LEN), header);
    EXPECT_EQ(Bytes(setting + HDR_LEN, setting + SETTING_LEN), Bytes(SETTING_LEN - HDR_LEN, 0));

    const unsigned char mac[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    const unsigned char ip[IPV4_LEN] = {10, 0, 0, 5};
    const unsigned char mask[IPV4_LEN] = {255, 255, 255, 0};
    setSettingTarget(setting, mac);
    setSettingAddress(setting, SET_IP, ip);
    setSettingAddress(setting, SET_MASK, mask);
    Bytes expected = {0x56, 0x4B, 0x44, 0x41, 0x01, 0x00, 0x01, 0x02, 0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e,
                      0,    0,    10,   0,    0,    5,    0,    0,    0,    0,    255,  255,  255,  0};
    EXPECT_EQ(Bytes(setting, setting + SETTING_LEN), expected);
}

TEST(Messages, RunStateStartsWithBothMessagesAndDefaults)
{
    static RunState rs;
    initRunState(rs);
    EXPECT_TRUE(isType(rs.bufferRequest + HDR_TYPE, TYPE_REQUEST));
    EXPECT_TRUE(isType(rs.bufferSetting + HDR_TYPE, TYPE_SETTING));
    EXPECT_FALSE(isType(rs.bufferSetting + HDR_TYPE, TYPE_RESPONSE));
    EXPECT_EQ(rs.t.tv_sec, 5);
    EXPECT_EQ(rs.t.tv_usec, 0);
    EXPECT_EQ(rs.recvLength, 70);
    EXPECT_EQ(rs.iOptVal, 64);
    EXPECT_EQ(rs.net.sock, INVALID_SOCKET);
    EXPECT_FALSE(rs.writeMode);
    EXPECT_FALSE(rs.fileOutput);
}
