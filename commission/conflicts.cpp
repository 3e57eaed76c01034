#include "commission/conflicts.h"

#include <cstring>

bool isConflict(const Scanner& s, size_t index)
{
    return index < s.senders.size() && s.senders[index].size() > 1;
}

std::vector<ScanFlag> scanFlags(const Scanner& s)
{
    std::vector<ScanFlag> flags(s.found.size());
    for (size_t i = 0; i < s.found.size(); ++i) {
        if (isConflict(s, i)) {
            flags[i].senders = s.senders[i];
        }
        for (size_t j = 0; j < s.found.size(); ++j) {
            if (j != i && memcmp(s.found[i].response.ip, s.found[j].response.ip, IPV4_LEN) == 0) {
                flags[i].duplicateIp = true;
            }
        }
    }
    return flags;
}
