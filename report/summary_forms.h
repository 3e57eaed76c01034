// The summary of set and apply: one row a planned controller with its state, its target, the
// values before (at the scan) and after (at the end), as a table, CSV or JSON; and the tally.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

#include "commission/apply.h"
#include "report/formats.h"

// A state's name in every text: "verified", "not confirmed", ...
const char* outcomeName(OutcomeState state);

// The summary in one of the forms; the table has the line column only when withLine; CSV and JSON
// always (empty, null for the set command). Keys in doc/brevindor-batch.1.
std::string summaryText(TextFormat format, const std::vector<Outcome>& outcomes, bool withLine);

// One record of the JSON array.
nlohmann::ordered_json outcomeJson(const Outcome& o);

// The count of each result present, in the order of OutcomeState: "17 verified, 3 not confirmed".
std::string tallyText(const std::vector<Outcome>& outcomes);
