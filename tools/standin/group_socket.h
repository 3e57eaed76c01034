// The stand-in's one socket on the multicast group: joined on the chosen interfaces, read without
// waiting, and sent from with each controller's own source address. Prints nothing.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// CLOCK_MONOTONIC in nanoseconds.
int64_t monotonicNs();

// A UDP socket bound to the group and port, with large buffers, that has joined the group on the
// interface of each address, and that tells on which interface each datagram arrived. -1 with the
// reason in why (e.g. "bind 239.192.0.255:20662: ...").
int openGroupSocket(const std::vector<in_addr>& interfaces, std::string* why);

// One waiting datagram, without blocking: its length, cut to size, its sender in src and the index
// of the interface it arrived on in arrivedOn (0 when the kernel did not say). -1 with errno set
// when there is none (EAGAIN) or the receive failed.
long receiveDatagram(int fd, unsigned char* buffer, size_t size, sockaddr_in* src, unsigned* arrivedOn);

// Sends length bytes to dest from the local address from (INADDR_ANY: the kernel's choice), out of
// the interface with index outOf (0: as routed), trying again while the kernel is short of
// buffers. 0, with the monotonic time just before the send that went out in sentAtNs, or the errno
// of the failure.
int sendFrom(int fd, in_addr from, unsigned outOf, const sockaddr_in& dest, const unsigned char* data, size_t length,
             int64_t* sentAtNs);
