// The running stand-in: the controllers, the answers and settings waiting for their time, and
// what each arriving datagram starts. Losses (loss=) are drawn here.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "tools/standin/controller.h"

const char PROGRAM[] = "brevindor-standin";   // begins each message on standard error

// A setting waiting to take effect.
struct PendingSetting {
    size_t controller;
    unsigned char addresses[3 * IPV4_LEN];   // ip, gateway, mask
};

struct Pending {
    size_t controller;
    sockaddr_in dest;
};

struct StandIn {
    int fd = -1;
    FILE* log = nullptr;
    std::multimap<int64_t, PendingSetting> settings;   // by the time they take effect
    std::vector<Controller> controllers;
    std::multimap<int64_t, Pending> pending;   // by due time; equal times keep insertion order
    unsigned long long sent = 0;
    int64_t lastSendNs = 0;
    int64_t startNs = 0;   // the moments of start=, silent= and change= in ms count from here
    unsigned char response[DATAGRAM_BUFFER_LEN];
};

// Applies the settings and sends the answers that are due.
void sendDue(StandIn* s);
// Reads and handles the datagrams waiting on the socket (a batch of them at most), logging each.
void drainSocket(StandIn* s, std::vector<unsigned char>* buffer);
// The earliest of deadline and the times of the waiting answers and settings.
int64_t nextWake(const StandIn& s, int64_t deadline);
