// A watch's texts: each event as a line of the table for people or as one JSON object (a line of
// JSON Lines), the notice of a full table, and the tally at the end. Device text reaches the
// table by the rule of the console dumps (report/device_text.h), the JSON through the JSON
// library's escaping, as in the scan's forms.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>

#include "commission/watch.h"

// "present", "appeared", "gone", "back", "changed", "conflict".
const char* watchEventName(WatchEventKind kind);
// A field's key, as the scan's JSON names it: "ip", "gateway", "mask", "node_name".
const char* watchFieldKey(unsigned field);

// The table's head and an event as its line, each ending in a line end: the local time of day,
// the event, MAC, IP and node name in columns of fixed width, then what changed (each field
// before and now) or what the conflict is.
std::string watchTableHead();
std::string watchTableLine(const WatchEvent& e);

// An event as JSON: time (UTC, to the millisecond) and event, then the keys of scan --format
// json; changed adds fields (their keys) and was (the values before, by key).
nlohmann::ordered_json watchEventJson(const WatchEvent& e);
// The same on one line, with its line end.
std::string watchJsonLine(const WatchEvent& e);

// A full table (WATCH_FULL), as a line for standard error.
std::string watchFullLine();
// The events of each kind and the asks, as the last line on standard error:
// "brevindor-batch: 3 present, 1 appeared, 2 gone, 1 back, 1 changed, 0 conflicts; 30 asks".
std::string watchTallyLine(const WatchResult& result);
