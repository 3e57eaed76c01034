#include "commission/replace.h"

#include <cstring>

ReplacementValues replacementRow(const std::vector<PlanRow>& rows, const unsigned char* oldMac,
                                 const unsigned char* newMac, PlanRow* row)
{
    for (const PlanRow& r : rows) {
        if (memcmp(r.mac, oldMac, MAC_LEN) != 0) {
            continue;
        }
        if (!r.setIp) {
            return VALUES_NO_IP;
        }
        *row = r;
        memcpy(row->mac, newMac, MAC_LEN);
        return VALUES_FOUND;
    }
    return VALUES_NO_ROW;
}
