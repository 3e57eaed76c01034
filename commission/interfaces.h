// Which local addresses to work from: --interface as an address, an interface name or "all".
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

enum Choice {
    CHOSEN,
    CHOICE_UNKNOWN,     // no interface has this address or name
    CHOICE_DOWN,        // the interface of this address or name is down
    CHOICE_NONE,        // nothing to choose from
    CHOICE_AMBIGUOUS,   // no --interface, and more than one candidate
    CHOICE_FAILED,      // the system gave no list
};

// The choice among the interfaces listed. --interface names one by its address, its name or
// (Windows) its adapter name, either name also in another case; only an interface that is up is
// taken. "all", and no --interface, take the interfaces that are up and neither loopback nor a
// tunnel: a tunnel (VPN, PPP) is used only when named. Fills chosen (one address an interface);
// candidates are the addresses that are up and not loopback, first of each interface, tunnels
// included, for the message when the choice is not clear.
Choice chooseAmong(const std::vector<LocalInterface>& listed, const std::string& where,
                   std::vector<LocalInterface>* chosen, std::vector<LocalInterface>* candidates);

// The interfaces that are up and not loopback, first address of each, tunnels included.
std::vector<LocalInterface> candidatesAmong(const std::vector<LocalInterface>& listed);

// The same among the interfaces the system lists now; every address listed goes to listed, when
// given.
Choice chooseInterfaces(const std::string& where, std::vector<LocalInterface>* chosen,
                        std::vector<LocalInterface>* candidates, std::vector<LocalInterface>* listed = NULL);
