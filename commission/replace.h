// The replacement of a broken controller: the new one takes the IP, gateway and mask the old one
// had, and the old one must be gone. The values come from a plan, an undo file or a scan's CSV
// (all of them plans) that has the old one's row.
#pragma once

#include <string>
#include <vector>

#include "commission/plan.h"

enum ReplacementValues {
    VALUES_FOUND,
    VALUES_NO_ROW,   // no row has the old MAC
    VALUES_NO_IP,    // its row gives no IP
};

// The row that gives newMac the values of oldMac's row among rows (line: that row's). The fields
// the row leaves empty stay empty: the new controller keeps its own there.
ReplacementValues replacementRow(const std::vector<PlanRow>& rows, const unsigned char* oldMac,
                                 const unsigned char* newMac, PlanRow* row);
