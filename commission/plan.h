// The plan of the apply command: a CSV file with the header mac,ip,gateway,mask and one row a
// controller. An empty gateway or mask keeps the value the controller reports.
#pragma once

#include <string>
#include <vector>

#include "protocol/messages.h"

// One controller's target. A field not set keeps the controller's value.
struct PlanRow {
    int line;   // in the plan file, the header being line 1 (0: from the command line)
    unsigned char mac[MAC_LEN];
    bool setIp;
    unsigned char ip[IPV4_LEN];
    bool setGateway;
    unsigned char gateway[IPV4_LEN];
    bool setMask;
    unsigned char mask[IPV4_LEN];
};

struct PlanError {
    int line;
    std::string message;   // safe to print: control bytes of the file shown as '?'
};

// Reads the whole plan text. Lines starting with '#' and blank lines are skipped; the first other
// line must be the header. Every error is listed with its line: malformed lines, bad MACs or
// addresses, a MAC twice, the same IP on two rows, no rows at all. True when there is none.
bool readPlan(const std::string& text, std::vector<PlanRow>* rows, std::vector<PlanError>* errors);
