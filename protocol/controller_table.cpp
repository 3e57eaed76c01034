#include "protocol/controller_table.h"

#include <cstring>

bool recordController(ControllerTable& t, const unsigned char* sender, const unsigned char* mac)
{
    if (t.responseCount >= MAX_CONTROLLERS) {
        t.responsesLeftOut = true;
        return false;
    }
    memcpy(t.ulIpAddr[t.responseCount], sender, IPV4_LEN);
    memcpy(t.ulMacAddr[t.responseCount], mac, MAC_LEN);
    t.responseCount++;
    return true;
}
