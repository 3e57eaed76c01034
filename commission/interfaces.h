// Which local addresses to work from: --interface as an address, an interface name or "all".
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

// The choice among the interfaces listed (up, loopback included). Fills chosen (one address an
// interface); candidates are the non-loopback addresses, first of each interface, for the message
// when the choice is not clear.
Choice chooseAmong(const std::vector<LocalInterface>& listed, const std::string& where,
                   std::vector<LocalInterface>* chosen, std::vector<LocalInterface>* candidates);

// The same among the interfaces the system lists now; every address listed goes to listed, when
// given.
Choice chooseInterfaces(const std::string& where, std::vector<LocalInterface>* chosen,
                        std::vector<LocalInterface>* candidates, std::vector<LocalInterface>* listed = NULL);
