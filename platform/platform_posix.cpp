#include "platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <signal.h>
#include <termios.h>

#include <cstring>
#include <initializer_list>

int WSAStartup(unsigned short versionRequested, WSADATA* data)
{
    data->wVersion = versionRequested;
    data->wHighVersion = versionRequested;
    return 0;
}

int WSACleanup()
{
    return 0;
}

int WSAGetLastError()
{
    return errno;
}

int closesocket(SOCKET s)
{
    return close(s);
}

bool fitsWaitSet(SOCKET s)
{
    return s >= 0 && s < FD_SETSIZE;
}

int receiveDatagram(SOCKET s, unsigned char* buf, int len, sockaddr* from, int* fromLen)
{
    iovec part;
    part.iov_base = buf;
    part.iov_len = (size_t)len;
    msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_name = from;
    msg.msg_namelen = fromLen != NULL ? (socklen_t)*fromLen : 0;
    msg.msg_iov = &part;
    msg.msg_iovlen = 1;
    ssize_t got = recvmsg(s, &msg, MSG_DONTWAIT);
    if (got < 0) {
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? RECEIVE_WOULD_BLOCK : SOCKET_ERROR;
    }
    // POSIX marks a datagram cut to fit the buffer in msg_flags.
    if ((msg.msg_flags & MSG_TRUNC) != 0) {
        errno = EMSGSIZE;
        return SOCKET_ERROR;
    }
    if (fromLen != NULL) {
        *fromLen = (int)msg.msg_namelen;
    }
    return (int)got;
}

static volatile sig_atomic_t caughtStop = 0;

static void noteStop(int signalNumber)
{
    caughtStop = signalNumber;
}

void catchStopSignals()
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = noteStop;   // no SA_RESTART: a wait returns with EINTR
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        (void)sigaction(signalNumber, &action, NULL);
    }
}

int stopSignal()
{
    return caughtStop;
}

bool isInterruption(int error)
{
    return error == EINTR;
}

void errorText(int error, char* text, size_t size)
{
    (void)snprintf(text, size, "%s", strerror(error));   // NOLINT(concurrency-mt-unsafe): glibc's is thread-safe
}

ErrorCause errorCause(int error)
{
    switch (error) {
    case EADDRINUSE:
        return CAUSE_ADDRESS_IN_USE;
    case ENODEV:
    case ENXIO:
    case EADDRNOTAVAIL:
        return CAUSE_NO_DEVICE;
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
        return CAUSE_NETWORK_DOWN;
    case EACCES:
    case EPERM:
        return CAUSE_PERMISSION;
    default:
        return CAUSE_OTHER;
    }
}

void setBinaryMode(FILE*) {}

bool commitFile(FILE* file)
{
    return fsync(fileno(file)) == 0;
}

bool isTerminal(FILE* file)
{
    return isatty(fileno(file)) == 1;
}

bool replaceFile(const char* from, const char* to)
{
    return rename(from, to) == 0;
}

void reserveStandardFiles()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor: this one, as those below it are open.
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened > fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

// Room for more addresses than the interface choice accepts, so that too many can be told.
enum { LOCAL_ADDR_CAPACITY = 64 };

hostent* localHostEntry(const char* hostName)
{
    static LocalInterface interfaces[LOCAL_ADDR_CAPACITY];
    static in_addr addrs[LOCAL_ADDR_CAPACITY];
    static char* addrList[LOCAL_ADDR_CAPACITY + 1];
    static char* noAliases[1];
    static char name[256];
    static hostent entry;

    int listed = listLocalInterfaces(interfaces, LOCAL_ADDR_CAPACITY);
    if (listed < 0) {
        return NULL;
    }
    int count = 0;
    // First pass: interfaces other than loopback; second pass: loopback.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < listed; ++i) {
            if (!interfaces[i].up || interfaces[i].loopback != (pass == 1)) {
                continue;
            }
            memcpy(&addrs[count], interfaces[i].address, sizeof addrs[count]);
            addrList[count] = (char*)&addrs[count];
            ++count;
        }
    }
    addrList[count] = NULL;

    (void)snprintf(name, sizeof name, "%s", hostName);   // a longer name is cut
    entry.h_name = name;
    entry.h_aliases = noAliases;
    entry.h_addrtype = AF_INET;
    entry.h_length = (int)sizeof(in_addr);
    entry.h_addr_list = addrList;
    return &entry;
}

bool setReceiveBuffer(SOCKET s, int bytes)
{
    return setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0 ||
           setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

bool lastReceiveTooLong()
{
    return errno == EMSGSIZE;
}

int listLocalInterfaces(LocalInterface* list, int capacity)
{
    struct ifaddrs* all;
    if (getifaddrs(&all) != 0) {
        return -1;
    }
    int count = 0;
    for (struct ifaddrs* ifa = all; ifa != NULL && count < capacity; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == NULL || ifa->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        LocalInterface& one = list[count++];
        memset(&one, 0, sizeof one);
        (void)snprintf(one.name, sizeof one.name, "%s", ifa->ifa_name);
        memcpy(one.address, &((const sockaddr_in*)ifa->ifa_addr)->sin_addr, sizeof one.address);
        one.loopback = (ifa->ifa_flags & IFF_LOOPBACK) != 0;
        one.up = (ifa->ifa_flags & IFF_UP) != 0;
        // PPP, tun, WireGuard and IP tunnels have a peer, not a segment.
        one.tunnel = (ifa->ifa_flags & IFF_POINTOPOINT) != 0;
    }
    freeifaddrs(all);
    return count;
}

// The terminal's settings from before the pause, put back by whatever signal ends the run during it.
static struct termios settingsBeforePause;

// Signals whose default action ends the process; SIGKILL and SIGSTOP can't be caught.
static const int ENDING_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2};
enum { ENDING_SIGNAL_COUNT = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0] };

// Restores the terminal, then the signal's default action ends the process as it would have.
static void restoreTerminalAndEnd(int sig)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &settingsBeforePause);
    (void)signal(sig, SIG_DFL);
    (void)raise(sig);
}

// Catches the ending signals that are not ignored; saved receives the actions they had.
static void catchEndingSignals(struct sigaction* saved)
{
    struct sigaction restore;
    memset(&restore, 0, sizeof restore);
    restore.sa_handler = restoreTerminalAndEnd;
    sigfillset(&restore.sa_mask);   // one restore at a time
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        sigaction(ENDING_SIGNALS[i], NULL, &saved[i]);
        if (saved[i].sa_handler != SIG_IGN) {
            sigaction(ENDING_SIGNALS[i], &restore, NULL);
        }
    }
}

static void releaseEndingSignals(const struct sigaction* saved)
{
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        sigaction(ENDING_SIGNALS[i], &saved[i], NULL);
    }
}

void pauseConsole(FILE* out)
{
    fprintf(out, "Press any key to continue . . . ");
    fflush(out);
    unsigned char key;
    if (tcgetattr(STDIN_FILENO, &settingsBeforePause) == 0) {
        // A terminal: one key, unechoed, not one typed before the pause. The settings are put back
        // however the run ends, a signal included.
        struct sigaction saved[ENDING_SIGNAL_COUNT];
        catchEndingSignals(saved);
        struct termios raw = settingsBeforePause;
        raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        tcflush(STDIN_FILENO, TCIFLUSH);
        while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
        }
        tcsetattr(STDIN_FILENO, TCSANOW, &settingsBeforePause);
        releaseEndingSignals(saved);
    } else {
        // Not a terminal: one byte; end of input ends the wait.
        while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
        }
    }
    fprintf(out, "\n");
    fflush(out);
}

void showUtf8OnConsole() {}
