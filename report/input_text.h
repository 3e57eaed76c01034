// The words for what a user gave that can't be taken: a row's target (commission/rows.h), a plan
// file, seconds. Text the user typed is quoted by report/cells.h's rule: safe to show, cut.
#pragma once

#include <string>

#include "commission/plan.h"
#include "commission/replace.h"
#include "report/frame.h"

// One fault of a row's target. The same words in every frame; the frame adds how a row given
// twice is found (a plan's line, the page's row) and, for text that is not UTF-8 in a plan, how to
// save it. Without the file and line or the option that frame it.
std::string rowFaultText(const RowFault& fault, Frame frame);

// A plan error as its message, without the file and line.
std::string planErrorText(const PlanError& e);

// Why the plan file could not be read (the error number of PLAN_FILE_CANT_OPEN or _CANT_READ),
// name as the plan is named in messages.
std::string planFileText(PlanFileResult result, const std::string& name, int error);

// The errors of a plan counted: "3 errors in the plan; nothing sent".
std::string planErrorsText(size_t count);

// Why the old controller's values were not found for its replacement: where (a file's name),
// the old MAC.
std::string replacementText(ReplacementValues values, const std::string& where, const unsigned char* oldMac);

// What seconds a setting takes: "seconds, 0 to 86400" or "seconds, above 0 up to 86400".
std::string secondsRangeText(bool zeroAllowed);
