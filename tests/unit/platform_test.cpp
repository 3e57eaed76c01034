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
