#include "protocol/discovery.h"

#include <cstring>

#include "protocol/dump.h"
#include "report/response_file.h"

static const char* const MSG_SOCKET = "An error has been occurred during the creation of a datagram window socket!!!\n";
static const char* const MSG_BIND =
    "An error has been occurred during the association of the source socket's address with the socket!!!\n";
static const char* const MSG_TTL = "An error has been occurred during setting the Time to Live of the multicast!!!\n";
const char* const MSG_SEND = "An error has been occurred during sending the message!!!\n";
static const char* const MSG_RECEIVE = "An error has been occurred during receiving the message!!!\n";

void releaseNetwork(RunState& rs)
{
    closesocket(rs.sock);
    rs.sock = INVALID_SOCKET;
    WSACleanup();
}

StepResult failNetwork(RunState& rs, const char* message)
{
    releaseNetwork(rs);
    rs.failure = message;
    return STEP_FAILED;
}

void closeNetwork(RunState& rs)
{
    shutdown(rs.sock, SD_SEND);
    releaseNetwork(rs);
}

void recordResponse(RunState& rs, long bytes, FILE* out)
{
    if (rs.responseCount >= MAX_CONTROLLERS) {
        if (!rs.responsesLeftOut) {
            fprintf(out, "\nMore than %d controllers answered: further responses are left out.\n", MAX_CONTROLLERS);
            rs.responsesLeftOut = true;
        }
        return;
    }
    unsigned char* ip = rs.ulIpAddr[rs.responseCount];
    unsigned char* mac = rs.ulMacAddr[rs.responseCount];
    memcpy(ip, &rs.source_sin.sin_addr, IPV4_LEN);
    memcpy(mac, rs.recvbuf + RSP_MAC, MAC_LEN);
    dumpResponse(out, rs.responseCount + 1, ip, mac, bytes, rs.recvbuf);
    if (rs.fileOutput) {
        writeResponse(rs.file, rs.responseCount + 1, ip, mac, bytes, rs.recvbuf);
    }
    rs.responseCount++;
}

void printCount(FILE* out, int responseCount)
{
    if (responseCount == 0) {
        fprintf(out, "\nThere are no online controllers.\n\n");
    } else if (responseCount == 1) {
        fprintf(out, "\nThere is only 1 online controller.\n\n");
    } else {
        fprintf(out, "\nThere are %d online controllers.\n\n", responseCount);
    }
}

// Wait for the next datagram with the full time-out. Returns select's result.
static int waitReadable(RunState& rs)
{
    // select may change both the set and the time left: every wait starts afresh.
    fd_set ready = rs.socks;
    timeval wait = rs.t;
    if (wait.tv_sec < 0) {
        wait.tv_sec = 0;   // a negative time-out only polls
    }
    return select((int)rs.sock + 1, &ready, NULL, NULL, &wait);
}

StepResult runDiscovery(RunState& rs, FILE* out)
{
    rs.sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (rs.sock == INVALID_SOCKET) {
        rs.failure = MSG_SOCKET;
        return STEP_FAILED;
    }
    if (!fitsWaitSet(rs.sock)) {
        return failNetwork(rs, MSG_SOCKET);   // a socket select can't wait on is of no use
    }

    memset(&rs.source_sin, 0, sizeof rs.source_sin);
    rs.source_sin.sin_family = AF_INET;
    rs.source_sin.sin_port = htons(SCAN_PORT);
    memcpy(&rs.source_sin.sin_addr, rs.localAddr, IPV4_LEN);
    if (bind(rs.sock, (const sockaddr*)&rs.source_sin, sizeof rs.source_sin) == SOCKET_ERROR) {
        return failNetwork(rs, MSG_BIND);
    }

    if (setsockopt(rs.sock, IPPROTO_IP, IP_MULTICAST_TTL, (const char*)&rs.iOptVal, sizeof rs.iOptVal) ==
        SOCKET_ERROR) {
        return failNetwork(rs, MSG_TTL);
    }

    memset(&rs.dest_sin, 0, sizeof rs.dest_sin);
    rs.dest_sin.sin_family = AF_INET;
    rs.dest_sin.sin_port = htons(SCAN_PORT);
    rs.dest_sin.sin_addr.s_addr = inet_addr(SCAN_GROUP);
    if (sendto(rs.sock, (const char*)rs.bufferRequest, REQUEST_LEN, MSG_DONTROUTE, (const sockaddr*)&rs.dest_sin,
               sizeof rs.dest_sin) == SOCKET_ERROR) {
        return failNetwork(rs, MSG_SEND);
    }
    dumpRequest(out, rs.bufferRequest);

    rs.iRecvLen = SOCKADDR_IN_LEN;
    fprintf(out, "\n\nWaiting for the response...\n");
    fflush(out);
    FD_ZERO(&rs.socks);
    FD_SET(rs.sock, &rs.socks);

    rs.responseCount = 0;
    for (;;) {
        int ready = waitReadable(rs);
        if (ready == 0) {
            fprintf(out, "Timeout has been exceeded.\n");
            break;
        }
        if (ready == SOCKET_ERROR) {
            return failNetwork(rs, MSG_RECEIVE);
        }
        int bytes = recvfrom(rs.sock, (char*)rs.recvbuf, rs.recvLength, 0, (sockaddr*)&rs.source_sin, &rs.iRecvLen);
        if (bytes == SOCKET_ERROR) {
            return failNetwork(rs, MSG_RECEIVE);
        }
        recordResponse(rs, bytes, out);
        fflush(out);
    }

    printCount(out, rs.responseCount);
    if (rs.fileOutput) {
        writeCount(rs.file, rs.responseCount);
    }
    if (rs.responseCount == 0 || !rs.writeMode) {
        closeNetwork(rs);
        return STEP_DONE;
    }
    return STEP_CONTINUE;
}
