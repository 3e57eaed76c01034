// The batch program's texts: the scan as a table, CSV or JSON, the summary of settings, and the
// lines for standard error: events, failures and plan errors. Device text reaches the table and
// CSV through the rule of the console dumps (report/device_text.h), the CSV with an apostrophe
// before a leading =, +, - or @, and the JSON document through the JSON library's escaping.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "commission/apply.h"
#include "commission/conflicts.h"
#include "commission/failure.h"
#include "commission/interfaces.h"
#include "commission/plan.h"
#include "protocol/sighting.h"

// The name that starts every line of the batch program's on standard error.
extern const char BATCH_PROGRAM[];

// Four bytes as a dotted address and six as a MAC, as every text of the batch program shows them.
std::string ipv4Text(const unsigned char* address);
std::string macText(const unsigned char* mac);

// A count with its noun, singular for one: "1 controller", "2 controllers".
std::string counted(long count, const char* one, const char* many);

// One flag for each sighting (commission/conflicts.h), shown in the conflict column.
// Aligned columns for people.
void printScanTable(FILE* out, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags);
// RFC 4180: a header row, CRLF line ends, fields quoted where needed.
void printScanCsv(FILE* out, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags);
// One JSON document: an array of objects (keys in doc/brevindor-batch.1).
void printScanJson(FILE* out, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags);
// One controller of that array.
nlohmann::ordered_json controllerJson(const Sighting& s, const ScanFlag& flag);

const char* outcomeName(OutcomeState state);
// One row a planned controller; the line column when withLine.
void printSummary(FILE* out, const std::vector<Outcome>& outcomes, bool withLine);
// The same as CSV (as the scan's) and as a JSON array, one record a row, the line always there
// (empty, null for the set command); keys in doc/brevindor-batch.1.
void printSummaryCsv(FILE* out, const std::vector<Outcome>& outcomes, bool withLine);
void printSummaryJson(FILE* out, const std::vector<Outcome>& outcomes, bool withLine);
// One record of that array.
nlohmann::ordered_json outcomeJson(const Outcome& o);
// A CSV field: valid UTF-8 (U+FFFD for a stray byte), quoted when it holds a comma, a quote or a
// line end.
std::string csvField(const std::string& cell);
// Device text that a spreadsheet would take for a formula (a leading =, +, - or @), behind an
// apostrophe.
std::string notFormula(const std::string& text);
// A JSON value as text in ASCII: every other character and every control byte escaped, bytes that
// are no UTF-8 as U+FFFD; indented by indent spaces, or on one line when indent < 0.
std::string jsonText(const nlohmann::ordered_json& value, int indent);
// The count of each result present, in the order of OutcomeState, as one line for standard error:
// "brevindor-batch: 17 verified, 3 not confirmed".
void printTally(FILE* err, const std::vector<Outcome>& outcomes);
// The UTF-8 byte-order mark, which spreadsheets need to read CSV as UTF-8 (--bom).
void printByteOrderMark(FILE* out);

// Why the interfaces could not be chosen, with the candidates where they help, for standard error.
void printChoiceFailure(FILE* err, Choice choice, const std::string& where,
                        const std::vector<LocalInterface>& candidates);
// A failure, as one line for standard error (without the program's name).
void printFailure(FILE* err, const Failure& failure);
// A network call's error number in words, for the end of such a line: ": " and the system's text,
// the number, and a hint where a common cause is known; empty for 0.
std::string errorWords(int error);
// What a flag says, for the conflict column: empty when nothing is wrong.
std::string conflictText(const Sighting& s, const ScanFlag& flag);
// A warning on standard error for every controller flagged; a conflict names every sender with
// the IP and node name it reported.
void printConflictWarnings(FILE* err, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags);
// The same for every row of set or apply in a conflict, saying whether the setting went out.
void printOutcomeWarnings(FILE* err, const std::vector<Outcome>& outcomes);
// What happened on the way, as a line for standard error; nothing for progress.
void printEvent(FILE* err, const Event& e);
// A plan error as its message, the field made safe to show (without the file and line).
std::string planErrorText(const PlanError& e);
