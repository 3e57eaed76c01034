#include "commission/address_rules.h"

#include <cstdint>
#include <cstring>

static uint32_t value(const unsigned char* a)
{
    return (uint32_t)a[0] << 24 | (uint32_t)a[1] << 16 | (uint32_t)a[2] << 8 | (uint32_t)a[3];
}

// Ones from the top, then zeros only.
static bool isPrefix(uint32_t mask)
{
    uint32_t zeros = ~mask;
    return (zeros & (zeros + 1)) == 0;
}

std::vector<AddressFault> addressFaults(const unsigned char* ip, const unsigned char* gateway,
                                        const unsigned char* mask)
{
    std::vector<AddressFault> faults;
    uint32_t m = value(mask);
    bool goodMask = m != 0 && isPrefix(m);
    if (m == 0) {
        faults.push_back(FAULT_MASK_ZERO);
    } else if (!isPrefix(m)) {
        faults.push_back(FAULT_MASK_NOT_PREFIX);
    }
    uint32_t a = value(ip);
    // /31 and /32 have no network and broadcast addresses of their own.
    bool hasEnds = goodMask && (~m) > 1;
    if (a == 0) {
        faults.push_back(FAULT_IP_ZERO);
    } else if (a == 0xFFFFFFFFu) {
        faults.push_back(FAULT_IP_ALL_ONES);
    } else if (a >> 24 == 127) {
        faults.push_back(FAULT_IP_LOOPBACK);
    } else if (a >> 28 == 0xE) {
        faults.push_back(FAULT_IP_MULTICAST);
    } else if (a >> 28 == 0xF) {
        faults.push_back(FAULT_IP_RESERVED);
    } else if (hasEnds && (a & ~m) == 0) {
        faults.push_back(FAULT_IP_NETWORK);
    } else if (hasEnds && (a & ~m) == ~m) {
        faults.push_back(FAULT_IP_BROADCAST);
    }
    uint32_t g = value(gateway);
    if (g == 0 || !goodMask) {
        return faults;
    }
    if (g == a) {
        faults.push_back(FAULT_GATEWAY_IS_IP);
    } else if ((g & m) != (a & m)) {
        faults.push_back(FAULT_GATEWAY_OUTSIDE);
    } else if (hasEnds && (g & ~m) == 0) {
        faults.push_back(FAULT_GATEWAY_NETWORK);
    } else if (hasEnds && (g & ~m) == ~m) {
        faults.push_back(FAULT_GATEWAY_BROADCAST);
    }
    return faults;
}

static Refusal refusal(const Target& t, AddressFault fault, const TargetField& at)
{
    Refusal r;
    memset(&r, 0, sizeof r);
    r.line = t.line;
    memcpy(r.mac, t.mac, MAC_LEN);
    r.fault = fault;
    memcpy(r.address, at.value, IPV4_LEN);
    r.kept = at.kept;
    memcpy(r.ip, t.ip.value, IPV4_LEN);
    memcpy(r.mask, t.mask.value, IPV4_LEN);
    return r;
}

static const Target* targetOf(const std::vector<Target>& targets, const unsigned char* mac)
{
    for (const Target& t : targets) {
        if (memcmp(t.mac, mac, MAC_LEN) == 0) {
            return &t;
        }
    }
    return NULL;
}

// The controller keeps its IP unless the plan gives it another one.
static bool keepsIp(const Sighting& holder, const std::vector<Target>& targets)
{
    const Target* planned = targetOf(targets, holder.response.mac);
    return planned == NULL || !planned->ip.known || memcmp(planned->ip.value, holder.response.ip, IPV4_LEN) == 0;
}

std::vector<Refusal> refuseTargets(const std::vector<Target>& targets, const std::vector<Sighting>& found,
                                   const std::vector<LocalInterface>& locals)
{
    std::vector<Refusal> refusals;
    for (const Target& t : targets) {
        if (!t.ip.known || !t.gateway.known || !t.mask.known) {
            continue;
        }
        for (AddressFault f : addressFaults(t.ip.value, t.gateway.value, t.mask.value)) {
            const TargetField& at = f <= FAULT_MASK_ZERO ? t.mask : f <= FAULT_IP_BROADCAST ? t.ip : t.gateway;
            refusals.push_back(refusal(t, f, at));
        }
        for (const LocalInterface& l : locals) {
            if (memcmp(l.address, t.ip.value, IPV4_LEN) == 0) {
                refusals.push_back(refusal(t, FAULT_IP_LOCAL, t.ip));
                break;   // once, however often the address is listed
            }
        }
        bool claims = true;   // an IP it has already is no new claim
        for (const Sighting& s : found) {
            claims = claims &&
                     !(memcmp(s.response.mac, t.mac, MAC_LEN) == 0 && memcmp(s.response.ip, t.ip.value, IPV4_LEN) == 0);
        }
        for (const Sighting& s : found) {
            if (!claims) {
                break;
            }
            if (memcmp(s.response.mac, t.mac, MAC_LEN) == 0 || memcmp(s.response.ip, t.ip.value, IPV4_LEN) != 0 ||
                !keepsIp(s, targets)) {
                continue;
            }
            Refusal r = refusal(t, FAULT_IP_IN_USE, t.ip);
            memcpy(r.holder, s.response.mac, MAC_LEN);
            refusals.push_back(r);
        }
    }
    return refusals;
}
