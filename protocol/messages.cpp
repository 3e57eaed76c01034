#include "protocol/messages.h"

#include <cstring>

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

bool hasType(const unsigned char* message, unsigned char kind)
{
    return message[HDR_TYPE] == TYPE_CLASS && message[HDR_TYPE + 1] == kind;
}
