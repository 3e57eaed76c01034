// Addresses that cannot work on a controller: a mask that is no prefix, an IP no host can have,
// a gateway outside the subnet; and, across a plan, an IP that another controller keeps or that
// this computer has. Pure functions: the refusals come back as values for report/ to word.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "protocol/messages.h"
#include "protocol/sighting.h"

enum AddressFault {
    FAULT_MASK_NOT_PREFIX,     // address: the mask
    FAULT_MASK_ZERO,           // address: the mask
    FAULT_IP_ZERO,             // address: the IP (the same for every IP fault)
    FAULT_IP_ALL_ONES,         //
    FAULT_IP_LOOPBACK,         // in 127.0.0.0/8
    FAULT_IP_MULTICAST,        // in 224.0.0.0/4
    FAULT_IP_RESERVED,         // in 240.0.0.0/4
    FAULT_IP_NETWORK,          // the network address of its own subnet
    FAULT_IP_BROADCAST,        // the broadcast address of its own subnet
    FAULT_GATEWAY_OUTSIDE,     // address: the gateway (the same for every gateway fault)
    FAULT_GATEWAY_IS_IP,       //
    FAULT_GATEWAY_NETWORK,     //
    FAULT_GATEWAY_BROADCAST,   //
    FAULT_IP_IN_USE,           // address: the IP; holder: the MAC that keeps it
    FAULT_IP_LOCAL,            // address: the IP, an address of this computer
};

// The faults of one whole target (ip, gateway, mask: four bytes each), in the order above. A
// gateway of 0.0.0.0 is no gateway. IP and gateway rules that need the subnet are skipped while
// the mask is bad.
std::vector<AddressFault> addressFaults(const unsigned char* ip, const unsigned char* gateway,
                                        const unsigned char* mask);

// One target field and whether it came from the plan or the controller's report.
struct TargetField {
    bool known;
    bool kept;   // the controller's own value, not given
    unsigned char value[IPV4_LEN];
};

// A planned controller's whole target as far as it is known.
struct Target {
    int line;   // plan line; 0 for the set command
    unsigned char mac[MAC_LEN];
    TargetField ip;
    TargetField gateway;
    TargetField mask;
};

// One reason a target is refused.
struct Refusal {
    int line;
    unsigned char mac[MAC_LEN];
    AddressFault fault;
    unsigned char address[IPV4_LEN];   // the address at fault
    bool kept;                         // that address is the controller's own, not given
    unsigned char ip[IPV4_LEN];        // the target's IP and mask, for the subnet in the message
    unsigned char mask[IPV4_LEN];
    unsigned char holder[MAC_LEN];   // FAULT_IP_IN_USE: the controller that keeps the IP
};

// Every refusal of these targets, row by row. A target is checked once its three fields are
// known; its IP against the answering controllers (found: empty before the scan), when it changes
// the IP, and against the local addresses.
std::vector<Refusal> refuseTargets(const std::vector<Target>& targets, const std::vector<Sighting>& found,
                                   const std::vector<LocalInterface>& locals);
