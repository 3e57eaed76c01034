#include "commission/interfaces.h"

#include <cstring>

#include "protocol/address.h"
#include "protocol/messages.h"

static const int MAX_LOCAL_ADDRESSES = 256;

// The first address of each named interface; without names (Windows) every address.
static bool firstOfItsInterface(const std::vector<LocalInterface>& taken, const LocalInterface& one)
{
    if (one.name[0] == '\0') {
        return true;
    }
    for (const LocalInterface& t : taken) {
        if (strcmp(t.name, one.name) == 0) {
            return false;
        }
    }
    return true;
}

Choice chooseAmong(const std::vector<LocalInterface>& listed, const std::string& where,
                   std::vector<LocalInterface>* chosen, std::vector<LocalInterface>* candidates)
{
    chosen->clear();
    candidates->clear();
    for (const LocalInterface& one : listed) {
        if (!one.loopback && firstOfItsInterface(*candidates, one)) {
            candidates->push_back(one);
        }
    }

    if (where.empty()) {
        if (candidates->size() == 1) {
            *chosen = *candidates;
            return CHOSEN;
        }
        return candidates->empty() ? CHOICE_NONE : CHOICE_AMBIGUOUS;
    }
    if (where == "all") {
        *chosen = *candidates;
        return chosen->empty() ? CHOICE_NONE : CHOSEN;
    }
    unsigned char address[IPV4_LEN];
    bool byAddress = parseIpv4(where.c_str(), address);
    for (const LocalInterface& one : listed) {
        bool match = byAddress ? memcmp(one.address, address, IPV4_LEN) == 0 : where == one.name;
        if (match) {
            chosen->push_back(one);
            return CHOSEN;
        }
    }
    return CHOICE_UNKNOWN;
}

Choice chooseInterfaces(const std::string& where, std::vector<LocalInterface>* chosen,
                        std::vector<LocalInterface>* candidates, std::vector<LocalInterface>* listed)
{
    std::vector<LocalInterface> all(MAX_LOCAL_ADDRESSES);
    int count = listLocalInterfaces(all.data(), MAX_LOCAL_ADDRESSES);
    if (count < 0) {
        chosen->clear();
        candidates->clear();
        return CHOICE_FAILED;
    }
    all.resize((size_t)count);
    if (listed != NULL) {
        *listed = all;
    }
    return chooseAmong(all, where, chosen, candidates);
}
