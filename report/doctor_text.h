// The check of this computer in words: one line a finding for people, its severity first and its
// fix, as a command for this system, at the end; and the JSON form (keys in
// doc/brevindor-batch.1), for scripts and the page.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

#include "commission/doctor.h"
#include "report/formats.h"

// The command that fixes it on this system (windows: Windows'), empty when there is none.
std::string fixCommand(const Fix& fix, bool windows);

// One finding as one line, without its line end: "ok       ...", "problem  ...", "unknown  ...".
std::string findingLine(const Finding& f, bool windows);

// One finding as JSON: kind, severity, the interface, the values of its kind, its line, the fix.
nlohmann::ordered_json findingJson(const Finding& f, bool windows);

// What the check came to by its exit status (doctorStatus), in a few words for the page.
std::string doctorStatusText(int status);

// Every finding and the exit status: {"findings": [...], "status": N}, as --format json and the page
// show them.
nlohmann::ordered_json doctorJson(const std::vector<Finding>& findings, int status, bool windows);

// Every finding in the form asked for (table: one line each; JSON: {"findings": [...], "status"}),
// with its final line end.
std::string doctorText(TextFormat format, const std::vector<Finding>& findings, int status, bool windows);
