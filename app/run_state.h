// The single record of a run: settings, outgoing messages, the exchange, the receive buffer and
// the controller table.
#pragma once

#include <cstdio>

#include "platform/platform.h"
#include "protocol/controller_table.h"
#include "protocol/exchange.h"
#include "protocol/messages.h"
#include "report/response_file.h"

const int DEFAULT_TIMEOUT_SECONDS = 5;

struct RunState {
    int recvLength;   // RECV_LEN
    int iOptVal;      // multicast time-to-live
    unsigned char bufferRequest[REQUEST_LEN];
    unsigned char bufferSetting[SETTING_LEN];
    timeval t;   // listening time-out
    bool fileOutput;
    FILE* file;
    const char* fileName;                 // as given to -F
    char fileBuffer[RECORD_BUFFER_LEN];   // the file's buffer: room for any whole record
    int fileError;                        // first failed write or close of the file, 0 if none
    bool writeMode;
    WSADATA WSAData;
    unsigned char localAddr[IPV4_LEN];   // the chosen local address
    Exchange net;                        // sock, bound_sin, source_sin, dest_sin, socks, iRecvLen
    unsigned char recvbuf[RECV_LEN];
    ControllerTable table;            // ulIpAddr, ulMacAddr, responseCount
    int c;                            // controller number typed
    unsigned char ulInet[IPV4_LEN];   // one converted address
    ExchangeFailure failure;          // the failure that ended the run
};

// Start values, outgoing messages built.
void initRunState(RunState& rs);
