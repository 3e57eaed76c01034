#include <gtest/gtest.h>

#include <errno.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "platform/host.h"
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

// A datagram up to the buffer's length is taken whole, a longer one fails; with none waiting the
// receive does not block.
TEST(Platform, ReceiveTakesUpToTheBufferAndFailsBeyondIt)
{
    const size_t NOTHING = (size_t)-1;
    const struct {
        size_t sent;
        int result;
    } cases[] = {
        {0, 0},
        {1, 1},
        {RECV_LEN, RECV_LEN},
        {RECV_LEN + 1, SOCKET_ERROR},
        {1400, SOCKET_ERROR},
        {NOTHING, RECEIVE_WOULD_BLOCK},
    };
    for (const auto& c : cases) {
        DatagramPair pair;
        if (c.sent != NOTHING) {
            std::vector<char> data(c.sent + 1, 'x');
            ASSERT_EQ(send(pair.fds[0], data.data(), c.sent, 0), (ssize_t)c.sent);
        }
        unsigned char buf[RECV_LEN];
        int fromLen = SOCKADDR_IN_LEN;
        sockaddr_in from;
        errno = 0;
        int got = receiveDatagram(pair.fds[1], buf, RECV_LEN, (sockaddr*)&from, &fromLen);
        EXPECT_EQ(got, c.result) << c.sent;
        if (c.result == SOCKET_ERROR) {
            EXPECT_EQ(WSAGetLastError(), EMSGSIZE) << c.sent;
        }
    }
}

// UTC to the millisecond, whatever the local zone: the records of several computers line up.
TEST(Platform, UtcTimeTextToTheMillisecond)
{
    const struct {
        long long ms;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {1, "1970-01-01T00:00:00.001Z"},
        {951782400000LL, "2000-02-29T00:00:00.000Z"},
        {1796826600123LL, "2026-12-09T14:30:00.123Z"},
        {4102444799999LL, "2099-12-31T23:59:59.999Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utcTimeText(c.ms), c.text) << c.ms;
    }
    long long now = wallClockMs();
    EXPECT_GT(now, 1796826600123LL - 86400000LL * 400) << "the wall clock, in ms since 1970";
}
