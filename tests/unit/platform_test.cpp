#include <gtest/gtest.h>

#include <errno.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "protocol/messages.h"

// A local datagram pair: no network involved.
struct DatagramPair {
    int fds[2];
    DatagramPair()
    {
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, fds), 0);
    }
    ~DatagramPair()
    {
        close(fds[0]);
        close(fds[1]);
    }
};

TEST(Platform, ReceiveTakesUpToTheBufferAndFailsBeyondIt)
{
    const struct {
        size_t sent;
        int result;
    } cases[] = {
        {0, 0}, {1, 1}, {RECV_LEN, RECV_LEN}, {RECV_LEN + 1, SOCKET_ERROR}, {1400, SOCKET_ERROR},
    };
    for (const auto& c : cases) {
        DatagramPair pair;
        std::vector<char> data(c.sent + 1, 'x');
        ASSERT_EQ(send(pair.fds[0], data.data(), c.sent, 0), (ssize_t)c.sent);
        char buf[RECV_LEN];
        int fromLen = SOCKADDR_IN_LEN;
        sockaddr_in from;
        errno = 0;
        int got = recvfrom(pair.fds[1], buf, RECV_LEN, 0, (sockaddr*)&from, &fromLen);
        EXPECT_EQ(got, c.result) << c.sent;
        if (c.result == SOCKET_ERROR) {
            EXPECT_EQ(WSAGetLastError(), EMSGSIZE) << c.sent;
        }
    }
}

TEST(Platform, ConvertAddressTellsAllOnesFromRejected)
{
    const struct {
        const char* text;
        bool ok;
        unsigned char bytes[4];
    } cases[] = {
        {"10.0.0.5", true, {10, 0, 0, 5}},
        {"255.255.255.255", true, {255, 255, 255, 255}},
        {"0.0.0.0", true, {0, 0, 0, 0}},
        {"192.168.1", true, {192, 168, 0, 1}},   // short forms the standard conversion takes
        {"0x7f.1", true, {127, 0, 0, 1}},
        {"10.0.0.256", false, {}},
        {"10.0.0.5.6", false, {}},
        {"abc", false, {}},
        {"", false, {}},
        {"-I", false, {}},
    };
    for (const auto& c : cases) {
        unsigned char address[4] = {1, 2, 3, 4};
        EXPECT_EQ(convertAddress(c.text, address), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(memcmp(address, c.bytes, 4), 0) << c.text;
        }
    }
}
