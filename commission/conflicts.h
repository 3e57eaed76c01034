// What a scan shows that does not add up: a MAC answering from two or more senders (a clone, or
// two controllers sharing a MAC), and two MACs reporting the same IP. For the scan's flags only
// the senders heard while discovering count, so a controller that answers from its new address
// while verifying is none; the verification judges the senders it hears itself (apply.h).
#pragma once

#include <cstdint>
#include <vector>

#include "commission/scanner.h"

struct ScanFlag {
    std::vector<SenderReport> senders;   // two or more: a conflict, each with what it reported
    bool duplicateIp = false;            // another MAC reports its IP
};

// Four bytes of an IP as one number, for maps keyed by IP.
uint32_t ipKey(const unsigned char* ip);

// One flag for each controller found, in the order of s.found. Linear in the controllers found,
// however many a flood brought.
std::vector<ScanFlag> scanFlags(const Scanner& s);

// The senders of the controller at this index of s.found heard while discovering.
std::vector<SenderReport> scanSenders(const Scanner& s, size_t index);

// True when the controller at this index of s.found answered from two or more senders while
// discovering.
bool isConflict(const Scanner& s, size_t index);
