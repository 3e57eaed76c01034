// What a scan shows that does not add up: a MAC answering from two or more senders (a clone, or
// two controllers sharing a MAC), and two MACs reporting the same IP. Only the senders of the
// discovery scan count, so a controller that takes its new address while verifying is none.
#pragma once

#include <array>
#include <vector>

#include "commission/scanner.h"

struct ScanFlag {
    std::vector<std::array<unsigned char, IPV4_LEN>> senders;   // two or more: a conflict
    bool duplicateIp;                                           // another MAC reports its IP
};

// One flag for each controller found, in the order of s.found.
std::vector<ScanFlag> scanFlags(const Scanner& s);

// True when the controller at this index of s.found answered from two or more senders.
bool isConflict(const Scanner& s, size_t index);
