// Which local addresses to scan from: --interface as an address, an interface name or "all".
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

enum Choice {
    CHOSEN,
    CHOICE_UNKNOWN,     // no interface that is up has this address or name
    CHOICE_NONE,        // nothing to choose from
    CHOICE_AMBIGUOUS,   // no --interface, and more than one candidate
    CHOICE_FAILED,      // the system gave no list
};

// Fills chosen (one address an interface); candidates are the up, non-loopback addresses, for the
// message when the choice is not clear.
Choice chooseInterfaces(const std::string& where, std::vector<LocalInterface>* chosen,
                        std::vector<LocalInterface>* candidates);
