#include "protocol/messages.h"

#include <cstring>

#include "protocol/decode.h"

static void buildHeader(unsigned char* message, unsigned char kind)
{
    memcpy(message + HDR_PROTOCOL_ID, PROTOCOL_ID, PROTOCOL_ID_LEN);
    message[HDR_VERSION_MAJOR] = VERSION_MAJOR;
    message[HDR_VERSION_MINOR] = VERSION_MINOR;
    message[HDR_TYPE] = TYPE_CLASS;
    message[HDR_TYPE + 1] = kind;
}

void buildRequest(unsigned char* request)
{
    memset(request, 0, REQUEST_LEN);
    buildHeader(request, TYPE_REQUEST);
}

void buildSettingHeader(unsigned char* setting)
{
    memset(setting, 0, SETTING_LEN);
    buildHeader(setting, TYPE_SETTING);
}

void setSettingAddress(unsigned char* setting, int offset, const unsigned char* address)
{
    memcpy(setting + offset, address, IPV4_LEN);
}

void setSettingTarget(unsigned char* setting, const unsigned char* mac)
{
    memcpy(setting + SET_MAC, mac, MAC_LEN);
}

void buildSetting(unsigned char* setting, const unsigned char* mac, const unsigned char* ip,
                  const unsigned char* gateway, const unsigned char* mask)
{
    buildSettingHeader(setting);
    setSettingTarget(setting, mac);
    setSettingAddress(setting, SET_IP, ip);
    setSettingAddress(setting, SET_GATEWAY, gateway);
    setSettingAddress(setting, SET_MASK, mask);
}

void buildResponse(unsigned char* response, const Response& r)
{
    memset(response, 0, RESPONSE_LEN);
    memcpy(response + HDR_PROTOCOL_ID, r.header.protocolId, PROTOCOL_ID_LEN);
    response[HDR_VERSION_MAJOR] = r.header.versionMajor;
    response[HDR_VERSION_MINOR] = r.header.versionMinor;
    memcpy(response + HDR_TYPE, r.header.type, TYPE_LEN);
    memcpy(response + RSP_INDEX, r.index, INDEX_LEN);
    memcpy(response + RSP_MAC, r.mac, MAC_LEN);
    memcpy(response + RSP_IP, r.ip, IPV4_LEN);
    memcpy(response + RSP_GATEWAY, r.gateway, IPV4_LEN);
    memcpy(response + RSP_MASK, r.mask, IPV4_LEN);
    memcpy(response + RSP_NODE_ID, r.nodeId, NODE_ID_LEN);
    memcpy(response + RSP_NODE_TYPE, r.nodeType, NODE_TYPE_LEN);
    memcpy(response + RSP_VERSION, r.version, VERSION_NUMBER_LEN);
    memcpy(response + RSP_NODE_NAME, r.nodeName, NODE_NAME_LEN);
}

bool isType(const unsigned char* type, unsigned char kind)
{
    return type[0] == TYPE_CLASS && type[1] == kind;
}
