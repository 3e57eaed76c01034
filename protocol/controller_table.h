// The controllers found by a scan, in arrival order: the sender of each response and the MAC it
// reports. Not sorted, not merged: one controller that answers twice takes two entries.
#pragma once

#include "protocol/messages.h"

const int MAX_CONTROLLERS = 100;

struct ControllerTable {
    unsigned char ulIpAddr[MAX_CONTROLLERS][IPV4_LEN];
    unsigned char ulMacAddr[MAX_CONTROLLERS][MAC_LEN];
    int responseCount;
    bool responsesLeftOut;   // more answers came than the table holds
};

// Adds one entry and returns true; false when the table is full (responsesLeftOut is then set).
bool recordController(ControllerTable& t, const unsigned char* sender, const unsigned char* mac);
