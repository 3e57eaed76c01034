// The words for targets that cannot work (commission/address_rules.h).
#pragma once

#include <string>

#include "commission/address_rules.h"
#include "report/frame.h"

// One refusal as a message, MAC first (without the program's name, file or line). For a field
// kept from the controller it says how to give it where the message is read: as an option of set,
// in the plan's column, or in the page's field.
std::string refusalText(const Refusal& r, Frame frame);
