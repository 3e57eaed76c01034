// The one reader of a target as typed, wherever it comes from: a plan's cells, the options of the
// set command or a row of the page. The same text gets the same verdict everywhere: a MAC and
// three addresses in the forms of protocol/address.h, no zero byte and nothing that is not UTF-8,
// each MAC and each IP given at most once across the rows read together.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "protocol/messages.h"

// One controller's target. A field not set keeps the controller's value.
struct PlanRow {
    int line;   // in the plan file, the header being line 1 (0: from the command line)
    unsigned char mac[MAC_LEN];
    bool setIp;
    unsigned char ip[IPV4_LEN];
    bool setGateway;
    unsigned char gateway[IPV4_LEN];
    bool setMask;
    unsigned char mask[IPV4_LEN];
};

// One target as typed; an empty field keeps what the controller reports.
struct RowText {
    std::string mac, ip, gateway, mask;
};

enum RowField { ROW_MAC, ROW_IP, ROW_GATEWAY, ROW_MASK, ROW_FIELDS };

enum RowProblem {
    ROW_NO_MAC,
    ROW_BAD_MAC,       // text: as typed
    ROW_BAD_ADDRESS,   // field, text: as typed
    ROW_NOT_UTF8,      // field
    ROW_MAC_TWICE,     // text: as typed; first: the place of the row that has it already
    ROW_IP_TWICE,      // text: as typed; first
};

// One fault of a row. The text is kept as typed (any bytes); report/ makes it safe to show.
struct RowFault {
    int place;   // the row's place as its reader counts (a plan line, a row of the page)
    RowProblem problem;
    RowField field;
    std::string text;
    int first;
};

// Reads rows one after another, so that a MAC or an IP given twice is found.
struct RowChecker {
    std::map<std::string, int> macs;   // MAC bytes -> place
    std::map<std::string, int> ips;    // IP bytes -> place
};

// Reads one row at its place into *row (line = place); its faults are appended, in the order of
// the fields. True when it has none. A row that does not read is not counted for the duplicates
// of the rows after it, as far as its fields do not read.
bool checkRow(RowChecker& checker, int place, const RowText& text, PlanRow* row, std::vector<RowFault>* faults);
