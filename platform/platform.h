// The small OS layer. On Windows it is Winsock 1.1 itself; on Linux it supplies the few
// Winsock-only calls over POSIX and makes the BSD calls behave as the program expects of Winsock.
// Everything else calls the socket functions by their standard names.
#pragma once

#include <cstdio>

#ifdef _WIN32

#include <winsock.h>   // Winsock 1.1: its multicast option values match wsock32

#ifndef SD_SEND
#define SD_SEND 1   // shutdown's sending direction; named only by the Winsock 2 header
#endif

#else

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

typedef int SOCKET;
const SOCKET INVALID_SOCKET = -1;
const int SOCKET_ERROR = -1;
const int SD_SEND = SHUT_WR;

struct WSADATA {
    unsigned short wVersion;
    unsigned short wHighVersion;
};

int WSAStartup(unsigned short versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
int closesocket(SOCKET s);

// Receive with Winsock's lengths and its rule for datagrams: one longer than len is a failed
// receive (WSAEMSGSIZE), never silently cut.
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);

#endif

// Local IPv4 addresses for the interface choice, as a host entry. Windows asks the resolver for
// the host name; Linux lists the interfaces that are up, other interfaces before loopback.
// NULL when the list can't be had.
hostent* localHostEntry(const char* hostName);

// True when select can wait on this socket. Winsock's sets hold sockets by count; a POSIX fd_set
// is a bitmap indexed by descriptor, which a descriptor from FD_SETSIZE on would overrun.
bool fitsWaitSet(SOCKET s);

// Opens each of the standard descriptors 0, 1 and 2 that is closed on the null device (end of
// input for 0), so that no file the program opens later takes its place. Called first of all.
void reserveStandardFiles();

// Wait for one key: "Press any key to continue . . . " and a line end.
void pauseConsole(FILE* out);
