// A full response as a controller would send it, for tests.
#pragma once

#include <cstring>

#include "protocol/decode.h"

inline void makeResponse(unsigned char* buf, const char* name = "Hall-North")
{
    memset(buf, 0, RECV_LEN);
    memcpy(buf, PROTOCOL_ID, PROTOCOL_ID_LEN);
    buf[HDR_VERSION_MAJOR] = 1;
    buf[HDR_TYPE] = 0x01;
    buf[HDR_TYPE + 1] = 0x01;
    buf[RSP_INDEX + 1] = 0x07;
    const unsigned char mac[] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    const unsigned char fields[] = {192, 168, 1,    20,   192,  168,  1, 1, 255, 255,
                                    255, 0,   0x43, 0x43, 0x09, 0x00, 1, 0, 0,   8};
    memcpy(buf + RSP_MAC, mac, sizeof mac);
    memcpy(buf + RSP_IP, fields, sizeof fields);
    strncpy((char*)buf + RSP_NODE_NAME, name, NODE_NAME_LEN);
}

// A whole receive buffer decoded, as the scan decodes it.
inline Response decoded(const unsigned char* buf, long bytes)
{
    Response r;
    decodeResponse(buf, RECV_LEN, bytes, &r);
    return r;
}
