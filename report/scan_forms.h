// The scan's results as a table, CSV or JSON, one row a controller with its flag
// (commission/conflicts.h). Device text reaches the table and CSV through the rule of the console
// dumps (report/device_text.h), the CSV with an apostrophe before a leading =, +, - or @, and the
// JSON document through the JSON library's escaping.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

#include "commission/conflicts.h"
#include "report/formats.h"

// The scan in one of the forms: aligned columns for people; RFC 4180 with a header row and CRLF
// line ends; one JSON document, an array of objects (keys in doc/brevindor-batch.1).
std::string scanText(TextFormat format, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags);

// One controller of that array.
nlohmann::ordered_json controllerJson(const Sighting& s, const ScanFlag& flag);

// What a flag says, for the conflict column: empty when nothing is wrong.
std::string conflictText(const Sighting& s, const ScanFlag& flag);

// The same with each sender's node name, as a warning names them.
std::string conflictWords(const Sighting& s, const ScanFlag& flag);

// The senders as a list: "A (IP a) and B (IP b)", with each one's node name when withNames.
std::string sendersText(const std::vector<SenderReport>& senders, bool withNames);

// The senders as JSON: address, and the IP and node name each reported; and the same as the one
// line of a CSV cell, empty when there are none.
nlohmann::ordered_json sendersJson(const std::vector<SenderReport>& senders);
std::string sendersCell(const std::vector<SenderReport>& senders);
