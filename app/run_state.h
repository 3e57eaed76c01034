// The single record of a run: settings, outgoing messages, socket, receive buffer, controller table.
#pragma once

#include <cstdio>

#include "platform/platform.h"
#include "protocol/messages.h"

const int MAX_CONTROLLERS = 100;
const int DEFAULT_TIMEOUT_SECONDS = 5;

struct RunState {
    int recvLength;   // RECV_LEN
    int iOptVal;      // multicast time-to-live
    unsigned char bufferRequest[REQUEST_LEN];
    unsigned char bufferSetting[SETTING_LEN];
    SOCKET sock;
    timeval t;   // listening time-out
    bool fileOutput;
    FILE* file;
    bool writeMode;
    WSADATA WSAData;
    unsigned char localAddr[IPV4_LEN];   // the chosen local address
    sockaddr_in source_sin;              // bound address, then each sender
    sockaddr_in dest_sin;                // the group
    fd_set socks;
    unsigned char recvbuf[RECV_LEN];
    int iRecvLen;
    unsigned char ulIpAddr[MAX_CONTROLLERS][IPV4_LEN];
    unsigned char ulMacAddr[MAX_CONTROLLERS][MAC_LEN];
    int responseCount;
    bool responsesLeftOut;            // more answers came than the table holds
    int c;                            // controller number typed
    unsigned char ulInet[IPV4_LEN];   // one converted address
    const char* failure;              // message of the failure that ended the run
};

// Start values, outgoing messages built.
void initRunState(RunState& rs);
