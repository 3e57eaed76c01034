// Outcomes and runs as the runner hands them to the journal, for the journal's tests and its
// benchmark.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commission/journal.h"

// Controller k (from 0): MAC 00:1a:2b:3c:<k/256>:<k%256>, before at 192.168.<k/100>.<k%100 + 2>/24
// with gateway .1, its target 100 higher on the same subnet; plan line k + 1; found unless
// OUTCOME_NOT_FOUND, reporting its target after the run when OUTCOME_VERIFIED.
inline Outcome journalOutcome(int k, OutcomeState state, const char* name = "Hall-North")
{
    Outcome o = Outcome();
    o.line = k + 1;
    const unsigned char mac[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, (unsigned char)(k / 256), (unsigned char)(k % 256)};
    memcpy(o.mac, mac, MAC_LEN);
    unsigned char subnet = (unsigned char)(k / 100);
    unsigned char host = (unsigned char)(k % 100 + 2);
    const unsigned char ip[IPV4_LEN] = {192, 168, subnet, host};
    const unsigned char gateway[IPV4_LEN] = {192, 168, subnet, 1};
    const unsigned char mask[IPV4_LEN] = {255, 255, 255, 0};
    o.knownIp = o.knownGateway = o.knownMask = true;
    memcpy(o.target.ip, ip, IPV4_LEN);
    o.target.ip[3] = (unsigned char)(host + 100);
    memcpy(o.target.gateway, gateway, IPV4_LEN);
    memcpy(o.target.mask, mask, IPV4_LEN);
    o.found = state != OUTCOME_NOT_FOUND;
    memcpy(o.before.mac, mac, MAC_LEN);
    memcpy(o.before.ip, ip, IPV4_LEN);
    memcpy(o.before.gateway, gateway, IPV4_LEN);
    memcpy(o.before.mask, mask, IPV4_LEN);
    (void)snprintf((char*)o.before.nodeName, sizeof o.before.nodeName, "%s", name);
    o.now = o.before;
    if (state == OUTCOME_VERIFIED) {
        memcpy(o.now.ip, o.target.ip, IPV4_LEN);
    }
    o.state = state;
    return o;
}

// The rows of a plan of count controllers from first, all sent.
inline std::vector<size_t> allRows(size_t count)
{
    std::vector<size_t> rows;
    for (size_t i = 0; i < count; ++i) {
        rows.push_back(i);
    }
    return rows;
}

inline JournalRun journalTestRun(const std::string& kind = "apply")
{
    JournalRun run;
    run.kind = kind;
    run.program = "brevindor-batch";
    run.version = "1.08.0";
    LocalInterface lo = {};
    (void)snprintf(lo.name, sizeof lo.name, "%s", "lo");
    const unsigned char address[4] = {127, 0, 0, 1};
    memcpy(lo.address, address, sizeof address);
    run.interfaces.push_back(lo);
    run.planFile = "line4.csv";
    run.planSha256 = sha256Hex("mac,ip\n");
    run.runId = newJournalRunId();
    return run;
}
