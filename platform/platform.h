// The small OS layer. On Windows it is Winsock 1.1 itself; on Linux it supplies the few
// Winsock-only calls over POSIX and makes the BSD calls behave as the program expects of Winsock.
// Everything else calls the socket functions by their standard names.
#pragma once

#include <cstdio>

#include "platform/local_interface.h"

#ifdef _WIN32

#include <winsock.h>   // Winsock 1.1: its multicast option values match wsock32

#ifndef SD_SEND
#define SD_SEND 1   // shutdown's sending direction; named only by the Winsock 2 header
#endif

// For what only Windows' users need to be told.
const bool WINDOWS_HOST = true;

#else

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

const bool WINDOWS_HOST = false;

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

#endif

// Result of receiveDatagram when no datagram is waiting.
const int RECEIVE_WOULD_BLOCK = -2;

// Receives one datagram without blocking, with Winsock's rule for its length: one longer than len
// is a failed receive (WSAEMSGSIZE, EMSGSIZE), never silently cut. Returns the number of bytes,
// RECEIVE_WOULD_BLOCK when none is waiting (one may be dropped between a wait and the receive),
// or SOCKET_ERROR. The sender's address goes to from, fromLen bytes of room, its length back.
int receiveDatagram(SOCKET s, unsigned char* buf, int len, sockaddr* from, int* fromLen);

// Local IPv4 addresses for the interface choice, as a host entry. Windows asks the resolver for
// the host name; Linux lists the interfaces that are up, other interfaces before loopback.
// NULL when the list can't be had.
hostent* localHostEntry(const char* hostName);

// True when select can wait on this socket. Winsock's sets hold sockets by count; a POSIX fd_set
// is a bitmap indexed by descriptor, which a descriptor from FD_SETSIZE on would overrun.
bool fitsWaitSet(SOCKET s);

// Ask for a receive buffer of this many bytes, for many answers arriving at once. On Linux root
// may go beyond the system's limit (SO_RCVBUFFORCE); otherwise the limit caps it. False when
// neither can be set.
bool setReceiveBuffer(SOCKET s, int bytes);

// True when the last failed receive was a datagram longer than the buffer.
bool lastReceiveTooLong();

// True when this error number of a socket call means a signal cut it short (EINTR, WSAEINTR).
bool isInterruption(int error);

// Opens each of the standard descriptors 0, 1 and 2 that is closed on the null device (end of
// input for 0), so that no file the program opens later takes its place. Called first of all.
void reserveStandardFiles();

// Writes what the file holds through to the disk (fsync; _commit on Windows). False on failure,
// errno telling why.
bool commitFile(FILE* file);
// True when the stream is a terminal (a console on Windows), for what only a person watching
// needs.
bool isTerminal(FILE* file);
// Renames from to to, replacing a file of that name. False on failure, errno telling why.
bool replaceFile(const char* from, const char* to);

// The batch program's stop: SIGINT, SIGTERM and SIGHUP (Ctrl-C and Ctrl-Break on Windows) only
// note the signal, for the run to stop between waits and tell how far it got.
void catchStopSignals();
// The signal caught, or 0.
int stopSignal();

// The system's text for an error number: a socket call's (WSAGetLastError on Windows, errno
// elsewhere) or the C runtime's errno, into text (size bytes), without a final period or line end.
void errorText(int error, char* text, size_t size);

// What an error number commonly means, for a hint a user can act on.
enum ErrorCause {
    CAUSE_OTHER,
    CAUSE_ADDRESS_IN_USE,   // a port already taken
    CAUSE_NO_DEVICE,        // the interface or its address is gone
    CAUSE_NETWORK_DOWN,     // the interface is down or the network unreachable
    CAUSE_PERMISSION,       // the system or a firewall refused the call
};
ErrorCause errorCause(int error);

// Reads the stream's bytes as they are: Windows would otherwise turn CRLF into LF and stop at
// Ctrl-Z on standard input. Nothing to do elsewhere.
void setBinaryMode(FILE* file);

// While standard output or error is a console (Windows), it shows UTF-8: its output code page is
// set to UTF-8 for the run and put back at exit, Ctrl-C and closing included. The bytes written
// are the same everywhere; elsewhere nothing to do.
void showUtf8OnConsole();

// Wait for one key: "Press any key to continue . . . " and a line end.
void pauseConsole(FILE* out);
