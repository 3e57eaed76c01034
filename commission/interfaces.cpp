#include "commission/interfaces.h"

#include <cctype>
#include <cstring>

#include "protocol/address.h"
#include "protocol/messages.h"

static const int MAX_LOCAL_ADDRESSES = 256;

// The first address of each named interface; without names every address.
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

static bool sameIgnoringCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i])) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

// How well one names where: 2 exactly (its address, name or adapter name), 1 by its name or
// adapter name but for case, 0 not at all.
static int matchOf(const LocalInterface& one, const std::string& where, const unsigned char* address)
{
    if (address != NULL) {
        return memcmp(one.address, address, IPV4_LEN) == 0 ? 2 : 0;
    }
    if (where == one.name || (one.adapterName[0] != '\0' && where == one.adapterName)) {
        return 2;
    }
    return sameIgnoringCase(where, one.name) || (one.adapterName[0] != '\0' && sameIgnoringCase(where, one.adapterName))
               ? 1
               : 0;
}

static Choice chooseNamed(const std::vector<LocalInterface>& listed, const std::string& where,
                          std::vector<LocalInterface>* chosen)
{
    unsigned char address[IPV4_LEN];
    bool byAddress = parseIpv4(where.c_str(), address);
    const LocalInterface* best = NULL;
    int bestMatch = 0;
    bool down = false;
    for (const LocalInterface& one : listed) {
        int match = matchOf(one, where, byAddress ? address : NULL);
        if (match == 0) {
            continue;
        }
        if (!one.up) {
            down = true;
        } else if (match > bestMatch) {
            best = &one;
            bestMatch = match;
        }
    }
    if (best == NULL) {
        return down ? CHOICE_DOWN : CHOICE_UNKNOWN;
    }
    chosen->push_back(*best);
    return CHOSEN;
}

std::vector<LocalInterface> candidatesAmong(const std::vector<LocalInterface>& listed)
{
    std::vector<LocalInterface> candidates;
    for (const LocalInterface& one : listed) {
        if (one.up && !one.loopback && firstOfItsInterface(candidates, one)) {
            candidates.push_back(one);
        }
    }
    return candidates;
}

Choice chooseAmong(const std::vector<LocalInterface>& listed, const std::string& where,
                   std::vector<LocalInterface>* chosen, std::vector<LocalInterface>* candidates)
{
    chosen->clear();
    *candidates = candidatesAmong(listed);
    std::vector<LocalInterface> usual;   // what is taken unnamed: no loopback, no tunnel
    for (const LocalInterface& one : *candidates) {
        if (!one.tunnel) {
            usual.push_back(one);
        }
    }

    if (where.empty()) {
        if (usual.size() == 1) {
            *chosen = usual;
            return CHOSEN;
        }
        return usual.empty() ? CHOICE_NONE : CHOICE_AMBIGUOUS;
    }
    if (where == "all") {
        *chosen = usual;
        return chosen->empty() ? CHOICE_NONE : CHOSEN;
    }
    return chooseNamed(listed, where, chosen);
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
