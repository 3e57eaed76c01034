#include "platform/platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

hostent* localHostEntry(const char* hostName)
{
    return gethostbyname(hostName);
}

int receiveDatagram(SOCKET s, unsigned char* buf, int len, sockaddr* from, int* fromLen)
{
    // Winsock 1.1 has no per-call non-blocking flag: the socket is non-blocking for this receive.
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        return SOCKET_ERROR;
    }
    int got = recvfrom(s, (char*)buf, len, 0, from, fromLen);
    int error = got == SOCKET_ERROR ? WSAGetLastError() : 0;
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    if (got == SOCKET_ERROR) {
        WSASetLastError(error);
        return error == WSAEWOULDBLOCK ? RECEIVE_WOULD_BLOCK : SOCKET_ERROR;
    }
    return got;
}

bool fitsWaitSet(SOCKET)
{
    return true;
}

// The C runtime keeps descriptors 0 to 2 for the standard streams even when the process has no
// such handle, so a file the program opens never takes their place.
void reserveStandardFiles() {}

void pauseConsole(FILE* out)
{
    fflush(out);
    system("PAUSE");
}

// The console's output code page before the run, or 0 while it is not changed.
static volatile LONG savedOutputCodePage = 0;

static void restoreOutputCodePage()
{
    UINT saved = (UINT)InterlockedExchange(&savedOutputCodePage, 0);
    if (saved != 0) {
        (void)SetConsoleOutputCP(saved);
    }
}

// Called before the program's own stop handler is (that one is registered later): puts the code
// page back when the program is ended from the console, and lets the next handler decide.
static BOOL WINAPI restoreOnStop(DWORD)
{
    restoreOutputCodePage();
    return FALSE;
}

static bool isConsole(DWORD which)
{
    DWORD mode;
    HANDLE handle = GetStdHandle(which);
    return handle != NULL && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void showUtf8OnConsole()
{
    if (!isConsole(STD_OUTPUT_HANDLE) && !isConsole(STD_ERROR_HANDLE)) {
        return;   // files and pipes take the bytes as they are
    }
    UINT before = GetConsoleOutputCP();
    if (before == 0 || before == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) {
        return;
    }
    InterlockedExchange(&savedOutputCodePage, (LONG)before);
    (void)atexit(restoreOutputCodePage);
    (void)SetConsoleCtrlHandler(restoreOnStop, TRUE);
}

static volatile LONG caughtStop = 0;

static BOOL WINAPI noteStop(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    InterlockedExchange(&caughtStop, event == CTRL_C_EVENT ? SIGINT : SIGBREAK);
    return TRUE;
}

void catchStopSignals()
{
    (void)SetConsoleCtrlHandler(noteStop, TRUE);
}

int stopSignal()
{
    return (int)caughtStop;
}

void errorText(int error, char* text, size_t size)
{
    // Winsock's numbers are the system's messages; the C runtime's errno values are its own.
    if (error < WSABASEERR || FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                             (DWORD)error, 0, text, (DWORD)size, NULL) == 0) {
        (void)snprintf(text, size, "%s", strerror(error));
    }
    size_t length = strlen(text);
    while (length > 0 && strchr(". \r\n", text[length - 1]) != NULL) {
        text[--length] = '\0';
    }
}

ErrorCause errorCause(int error)
{
    switch (error) {
    case WSAEADDRINUSE:
        return CAUSE_ADDRESS_IN_USE;
    case WSAEADDRNOTAVAIL:
        return CAUSE_NO_DEVICE;
    case WSAENETDOWN:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
        return CAUSE_NETWORK_DOWN;
    case WSAEACCES:
    case EACCES:
        return CAUSE_PERMISSION;
    default:
        return CAUSE_OTHER;
    }
}

void setBinaryMode(FILE* file)
{
    (void)_setmode(_fileno(file), _O_BINARY);
}

bool commitFile(FILE* file)
{
    return _commit(_fileno(file)) == 0;
}

bool isTerminal(FILE* file)
{
    return _isatty(_fileno(file)) != 0;
}

bool replaceFile(const char* from, const char* to)
{
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

bool setReceiveBuffer(SOCKET s, int bytes)
{
    return setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&bytes, sizeof bytes) == 0;
}

bool lastReceiveTooLong()
{
    return WSAGetLastError() == WSAEMSGSIZE;
}

bool isInterruption(int error)
{
    return error == WSAEINTR || error == EINTR;
}
