// Fuzz target: datagrams as they come off the socket, through the exchange's receive, the controller
// table, the console dump, the response file, the count and the table of controllers.
//
// Input: a series of datagrams, each [length byte, taken mod 201][4 sender address bytes][payload];
// a payload cut short by the end of the input is sent as it stands. They travel through an AF_UNIX
// datagram socket pair (never a network), so a datagram longer than the receive buffer takes the
// real failed-receive path, and a shorter datagram must find nothing of a longer one before it.
//
// Both output streams keep what they get, and after each input the run stops on a control character
// in it (C0 other than line feed and tab, DEL, C1, as a byte or in UTF-8): nothing from the network
// may reach the terminal or the record raw. The check waits for the whole input's text, since a
// stream's buffer may end inside a character.

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/discovery.h"
#include "app/run_state.h"
#include "report/console.h"
#include "report/response_file.h"
#include "support/controls.h"

static const size_t MAX_DATAGRAM = 200;
static const int MAX_DATAGRAMS = MAX_CONTROLLERS + 10;   // enough to overflow the table
static const timeval POLL = {0, 0};                      // the datagram is waiting already

static void fault(const char* what)
{
    fprintf(stderr, "receive_fuzz: %s\n", what);
    abort();
}

static ssize_t keepWrite(void* cookie, const char* data, size_t size)
{
    ((std::string*)cookie)->append(data, size);
    return (ssize_t)size;
}

static FILE* keepingStream(std::string* text)
{
    cookie_io_functions_t io = {nullptr, keepWrite, nullptr, nullptr};
    FILE* stream = fopencookie(text, "w", io);
    if (stream == nullptr) {
        fault("fopencookie failed");
    }
    return stream;
}

static void checkAndForget(FILE* stream, std::string* text)
{
    fflush(stream);
    size_t at = controlAt((const unsigned char*)text->data(), text->size());
    if (at != std::string::npos) {
        fprintf(stderr, "receive_fuzz: control byte 0x%02x printed\n", (unsigned char)(*text)[at]);
        abort();
    }
    text->clear();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::string consoleText, recordText;
    static FILE* console = keepingStream(&consoleText);
    static FILE* record = keepingStream(&recordText);
    static int pair[2] = {-1, -1};
    if (pair[0] < 0 && socketpair(AF_UNIX, SOCK_DGRAM, 0, pair) != 0) {
        fault("socketpair failed");
    }

    static RunState rs;
    initRunState(rs);
    rs.net.sock = pair[0];
    FD_ZERO(&rs.net.socks);
    FD_SET(rs.net.sock, &rs.net.socks);
    rs.writeMode = true;
    rs.fileOutput = true;
    rs.file = record;

    size_t at = 0;
    int received = 0;
    bool failed = false;
    for (int n = 0; n < MAX_DATAGRAMS && at < size; ++n) {
        size_t length = data[at++] % (MAX_DATAGRAM + 1);
        unsigned char sender[IPV4_LEN] = {0, 0, 0, 0};
        for (int k = 0; k < IPV4_LEN && at < size; ++k) {
            sender[k] = data[at++];
        }
        if (length > size - at) {
            length = size - at;
        }
        if (send(pair[1], data + at, length, 0) != (ssize_t)length) {
            fault("send failed");
        }
        at += length;

        int bytes = 0;
        if (receiveNext(rs.net, POLL, rs.recvbuf, rs.recvLength, &bytes) != NEXT_DATAGRAM) {
            if (length <= (size_t)RECV_LEN) {
                fault("a datagram that fits the buffer failed");
            }
            failed = true;   // the run ends here
            break;
        }
        if (length > (size_t)RECV_LEN || bytes != (int)length) {
            fault("a received length differs from the datagram's");
        }
        for (int k = bytes; k < RECV_LEN; ++k) {
            if (rs.recvbuf[k] != 0) {
                fault("an earlier datagram's bytes are left behind a shorter one");
            }
        }
        memcpy(&rs.net.source_sin.sin_addr, sender, IPV4_LEN);   // as the kernel would give it
        recordResponse(rs, bytes, console);
        ++received;
    }

    int recorded = received < MAX_CONTROLLERS ? received : MAX_CONTROLLERS;
    if (rs.table.responseCount != recorded || rs.table.responsesLeftOut != (received > MAX_CONTROLLERS)) {
        fault("the table does not match what was received");
    }
    if (!failed) {
        printCount(console, rs.table.responseCount);
        writeCount(record, rs.table.responseCount);
        if (rs.table.responseCount > 0) {
            printControllerTable(console, rs.table);
        }
    }
    checkAndForget(console, &consoleText);
    checkAndForget(record, &recordText);
    return 0;
}
