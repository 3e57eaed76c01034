// The plan of the apply command: a CSV file whose header names its columns, one row a controller.
// The mac column is required; ip, gateway and mask are optional, and an empty cell, or a column
// the plan lacks, keeps the value the controller reports. Other columns are ignored, so the scan's
// own CSV, edited, is a plan.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "commission/rows.h"

enum PlanProblem {
    PLAN_NO_HEADER,      // no header line at all
    PLAN_BAD_HEADER,     // field: the first line that is no comment, which has no mac column
    PLAN_COLUMN_TWICE,   // field: the column's name
    PLAN_NO_ROWS,        // a header, but no controller
    PLAN_FIELD_COUNT,    // field: the first filled field beyond the header's; count: the header's fields
    PLAN_OPEN_QUOTE,     // a quoted field runs to the end of the file
    PLAN_BAD_QUOTE,      // text after a quoted field's closing quote
    PLAN_ROW,            // row: a fault of the row's target, as the row checker finds it
    // Encodings that can't be read:
    PLAN_UTF32,             // with or without a byte-order mark
    PLAN_UTF16_NO_BOM,      // every other byte zero at the start, no byte-order mark to tell the order
    PLAN_UTF16_ODD,         // UTF-16 with an odd number of bytes
    PLAN_UTF16_SURROGATE,   // UTF-16 with half of a surrogate pair
};

// One fault of a plan. The field is kept as the file has it (any bytes); the text forms make it
// safe to show.
struct PlanError {
    int line;
    PlanProblem problem;
    std::string field;
    int count;
    RowFault row;
};

// Reads the whole plan text: UTF-8 with or without a byte-order mark, or UTF-16 (little or big-
// endian) with one, as spreadsheets save "Unicode text"; lines ending in LF, CRLF or CR, fields
// separated by ',', ';' or tab (the one the header uses) and quoted as in RFC 4180. Lines whose
// first non-blank character is '#', blank lines and rows of empty fields are skipped; the first
// other line must be the header. Every error is listed with its line (a row's first): malformed
// rows, the faults of their targets (commission/rows.h, a line being a row's place), no rows at all.
// Another encoding is refused as the one error: UTF-32, UTF-16 without a byte-order mark, broken
// UTF-16. Bytes that are not UTF-8 are an error of their row in a cell that is read (mac, ip,
// gateway, mask), and passed over in comments and ignored columns: they change nothing read.
// True when there is none.
bool readPlan(const std::string& text, std::vector<PlanRow>* rows, std::vector<PlanError>* errors);

enum PlanFileResult {
    PLAN_FILE_READ,
    PLAN_FILE_CANT_OPEN,   // *error says why
    PLAN_FILE_CANT_READ,
    PLAN_FILE_TOO_LARGE,   // more than PLAN_MAX_BYTES; the rest is not read
};

// The largest plan read: far beyond any network's controllers, and memory stays bounded.
const size_t PLAN_MAX_BYTES = 1024 * 1024;

// The whole plan file as text.
PlanFileResult readPlanFile(const std::string& path, std::string* text, int* error);
// The whole plan from a stream open for reading in binary mode (standard input), as text.
PlanFileResult readPlanStream(FILE* file, std::string* text, int* error);
