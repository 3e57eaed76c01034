#include "commission/conflicts.h"

#include <cstdint>
#include <unordered_map>

std::vector<SenderReport> scanSenders(const Scanner& s, size_t index)
{
    std::vector<SenderReport> heard;
    if (index < s.senders.size()) {
        for (const SenderReport& one : s.senders[index]) {
            if (!one.afterScan) {
                heard.push_back(one);
            }
        }
    }
    return heard;
}

bool isConflict(const Scanner& s, size_t index)
{
    size_t heard = 0;
    if (index < s.senders.size()) {
        for (const SenderReport& one : s.senders[index]) {
            heard += one.afterScan ? 0 : 1;
        }
    }
    return heard > 1;
}

uint32_t ipKey(const unsigned char* ip)
{
    return (uint32_t)ip[0] << 24 | (uint32_t)ip[1] << 16 | (uint32_t)ip[2] << 8 | ip[3];
}

std::vector<ScanFlag> scanFlags(const Scanner& s)
{
    std::vector<ScanFlag> flags(s.found.size());
    std::unordered_map<uint32_t, size_t> reporting;   // IP -> how many MACs report it
    reporting.reserve(s.found.size());
    for (const Sighting& seen : s.found) {
        ++reporting[ipKey(seen.response.ip)];
    }
    for (size_t i = 0; i < s.found.size(); ++i) {
        if (isConflict(s, i)) {
            flags[i].senders = scanSenders(s, i);
        }
        flags[i].duplicateIp = reporting[ipKey(s.found[i].response.ip)] > 1;
    }
    return flags;
}
