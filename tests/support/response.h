// A full response as a controller would send it, for tests.
#pragma once

#include <cstring>

#include "protocol/decode.h"

inline void makeResponse(unsigned char* buf, const char* name = "Hall-North")
{
    Response r;
    memset(&r, 0, sizeof r);
    memcpy(r.header.protocolId, PROTOCOL_ID, PROTOCOL_ID_LEN);
    r.header.versionMajor = VERSION_MAJOR;
    r.header.versionMinor = VERSION_MINOR;
    r.header.type[0] = TYPE_CLASS;
    r.header.type[1] = TYPE_RESPONSE;
    r.index[1] = 0x07;
    const unsigned char mac[] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    const unsigned char ip[] = {192, 168, 1, 20};
    const unsigned char gateway[] = {192, 168, 1, 1};
    const unsigned char mask[] = {255, 255, 255, 0};
    const unsigned char version[] = {1, 0, 0, 8};
    memcpy(r.mac, mac, MAC_LEN);
    memcpy(r.ip, ip, IPV4_LEN);
    memcpy(r.gateway, gateway, IPV4_LEN);
    memcpy(r.mask, mask, IPV4_LEN);
    r.nodeId[0] = NODE_ID_MORVESTA;
    r.nodeId[1] = NODE_ID_MORVESTA;
    memcpy(r.nodeType, NODE_TYPE_K4Z, NODE_TYPE_LEN);
    memcpy(r.version, version, VERSION_NUMBER_LEN);
    strncpy((char*)r.nodeName, name, NODE_NAME_LEN);
    buildResponse(buf, r);
}

// A whole receive buffer decoded, as the scan decodes it.
inline Response decoded(const unsigned char* buf, long bytes)
{
    Response r;
    decodeResponse(buf, RECV_LEN, bytes, &r);
    return r;
}
