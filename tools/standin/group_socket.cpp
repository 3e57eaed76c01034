#include "tools/standin/group_socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protocol/messages.h"

namespace {

const int RECV_BUF_BYTES = 8 << 20;
const int SEND_BUF_BYTES = 4 << 20;
const int SEND_RETRY_LIMIT = 500;   // tries on ENOBUFS/EAGAIN
const long SEND_RETRY_PAUSE_NS = 1000000;
const int64_t NS_PER_S = 1000000000;

// Room for the one control message both ways: the interface and addresses of a datagram.
union PacketInfo {
    cmsghdr align;
    char bytes[CMSG_SPACE(sizeof(in_pktinfo))];
};

// The reason of the failure just met, after what failed.
std::string failure(const std::string& what)
{
    return what + ": " + strerror(errno);
}

}   // namespace

int64_t monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * NS_PER_S + ts.tv_nsec;
}

int openGroupSocket(const std::vector<in_addr>& interfaces, std::string* why)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        *why = failure("socket");
        return -1;
    }
    int on = 1;
    if (setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        *why = failure("IP_PKTINFO");
        close(fd);
        return -1;
    }
    int size = RECV_BUF_BYTES;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    size = SEND_BUF_BYTES;
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }

    // Bound to the group address itself, so a tool bound to a local address on the same port
    // does not clash with it.
    sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_port = htons(SCAN_PORT);
    inet_pton(AF_INET, SCAN_GROUP, &local.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        *why = failure(std::string("bind ") + SCAN_GROUP + ":" + std::to_string(SCAN_PORT));
        close(fd);
        return -1;
    }
    for (const in_addr& interfaceAddr : interfaces) {
        ip_mreq join;
        memset(&join, 0, sizeof join);
        join.imr_multiaddr = local.sin_addr;
        join.imr_interface = interfaceAddr;
        if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
            char ip[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &interfaceAddr, ip, sizeof ip);
            *why = failure(std::string("join ") + SCAN_GROUP + " on " + ip);
            close(fd);
            return -1;
        }
    }
    return fd;
}

long receiveDatagram(int fd, unsigned char* buffer, size_t size, sockaddr_in* src, unsigned* arrivedOn)
{
    memset(src, 0, sizeof *src);
    iovec iov;
    iov.iov_base = buffer;
    iov.iov_len = size;
    PacketInfo control;
    memset(&control, 0, sizeof control);
    msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_name = src;
    msg.msg_namelen = sizeof *src;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control.bytes;
    msg.msg_controllen = sizeof control.bytes;
    ssize_t n = recvmsg(fd, &msg, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) {
        return -1;
    }
    *arrivedOn = 0;
    for (cmsghdr* cm = CMSG_FIRSTHDR(&msg); cm != nullptr; cm = CMSG_NXTHDR(&msg, cm)) {
        if (cm->cmsg_level == IPPROTO_IP && cm->cmsg_type == IP_PKTINFO &&
            cm->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
            in_pktinfo info;
            memcpy(&info, CMSG_DATA(cm), sizeof info);
            *arrivedOn = static_cast<unsigned>(info.ipi_ifindex);
        }
    }
    return static_cast<size_t>(n) < size ? static_cast<long>(n) : static_cast<long>(size);
}

int sendFrom(int fd, in_addr from, unsigned outOf, const sockaddr_in& dest, const unsigned char* data, size_t length,
             int64_t* sentAtNs)
{
    iovec iov;
    iov.iov_base = const_cast<unsigned char*>(data);   // sendmsg does not write it
    iov.iov_len = length;
    PacketInfo control;
    memset(&control, 0, sizeof control);
    sockaddr_in to = dest;
    msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control.bytes;
    msg.msg_controllen = sizeof control.bytes;
    cmsghdr* cm = CMSG_FIRSTHDR(&msg);
    cm->cmsg_level = IPPROTO_IP;
    cm->cmsg_type = IP_PKTINFO;
    cm->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info;
    memset(&info, 0, sizeof info);
    info.ipi_spec_dst = from;   // the source address of the datagram
    info.ipi_ifindex = static_cast<int>(outOf);
    memcpy(CMSG_DATA(cm), &info, sizeof info);

    for (int attempt = 0;; ++attempt) {
        int64_t before = monotonicNs();
        if (sendmsg(fd, &msg, 0) >= 0) {
            *sentAtNs = before;
            return 0;
        }
        int err = errno;
        if (err == EINTR) {
            continue;
        }
        if ((err == ENOBUFS || err == EAGAIN || err == EWOULDBLOCK) && attempt < SEND_RETRY_LIMIT) {
            timespec pause = {0, SEND_RETRY_PAUSE_NS};
            nanosleep(&pause, nullptr);
            continue;
        }
        return err;
    }
}
