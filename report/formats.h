// The three forms of the batch program's results, whatever they hold: aligned columns for people,
// CSV (RFC 4180, UTF-8) and JSON (ASCII, every other character escaped).
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

enum TextFormat { FORMAT_TABLE, FORMAT_CSV, FORMAT_JSON };

typedef std::vector<std::string> Row;

// Columns padded to their widest cell on a terminal, two spaces apart, no trailing blanks; one
// line a row.
std::string columnsText(const std::vector<Row>& rows);

// One CSV record with its CRLF: fields quoted where they hold a comma, a quote or a line end, and
// made valid UTF-8.
std::string csvLine(const Row& row);

// Device text that a spreadsheet would take for a formula (a leading =, +, - or @), behind an
// apostrophe.
std::string notFormula(const std::string& text);

// The UTF-8 byte-order mark, which spreadsheets need to read CSV as UTF-8 (--bom).
extern const char BYTE_ORDER_MARK[];

// A JSON value as text in ASCII: every other character and every control byte escaped, bytes that
// are no UTF-8 as U+FFFD; indented by indent spaces, or on one line when indent < 0.
std::string jsonText(const nlohmann::ordered_json& value, int indent);
