// The words of each result of a planned controller, as every output and the journal hold them.
#pragma once

#include <string>

#include "commission/apply.h"

// "verified", "not confirmed", ...
const char* outcomeStateName(OutcomeState state);
// The state of a name; false for a word that is none.
bool outcomeStateOf(const std::string& name, OutcomeState* state);
