// The batch program's texts: the scan as a table, CSV or JSON, and the summary of settings.
// Device text reaches the table and CSV through the rule of the console dumps (report/device_text.h),
// the CSV with an apostrophe before a leading =, +, - or @, and the JSON document through the JSON
// library's escaping.
#pragma once

#include <cstdio>
#include <vector>

#include "protocol/exchange.h"
#include "protocol/sighting.h"

// Aligned columns for people.
void printScanTable(FILE* out, const std::vector<Sighting>& found);
// RFC 4180: a header row, CRLF line ends, fields quoted where needed.
void printScanCsv(FILE* out, const std::vector<Sighting>& found);
// One JSON document: an array of objects (keys in doc/brevindor-batch.1).
void printScanJson(FILE* out, const std::vector<Sighting>& found);

enum OutcomeState {
    OUTCOME_VERIFIED,        // sent, and the controller reports the target
    OUTCOME_UNCHANGED,       // already at the target; nothing sent
    OUTCOME_NOT_FOUND,       // no answer from this MAC; nothing sent
    OUTCOME_NOT_CONFIRMED,   // sent, but the target was not reported in time
    OUTCOME_SENT,            // sent, not verified (--no-verify)
    OUTCOME_WOULD_SEND,      // --dry-run
};

// One planned controller: its target and what it reports now.
struct Outcome {
    int line;   // plan line; 0 for the set command
    unsigned char mac[MAC_LEN];
    bool known[3];   // ip, gateway, mask of the target known (a kept field of a missing controller is not)
    unsigned char target[3][IPV4_LEN];
    bool found;
    Response now;   // the controller's latest answer, when found
    OutcomeState state;
};

const char* outcomeName(OutcomeState state);
// One row a planned controller; the line column when withLine.
void printSummary(FILE* out, const std::vector<Outcome>& outcomes, bool withLine);

// A failure of the exchange, as one line for standard error (without the program's name).
void printExchangeFailure(FILE* err, ExchangeFailure failure, const unsigned char* local);
