// The words for targets that cannot work (commission/address_rules.h).
#pragma once

#include <string>

#include "commission/address_rules.h"

// One refusal as a message, MAC first (without the program's name, file or line). For a field
// kept from the controller it says how to give it: as an option of set, or in the plan's column.
std::string refusalText(const Refusal& r, bool fromPlan);
