#include "report/batch_output.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <map>
#include <string>

#include "commission/outcome_names.h"
#include "platform/platform.h"
#include "report/device_text.h"
#include "report/fields.h"

typedef std::vector<std::string> Row;

const char BATCH_PROGRAM[] = "brevindor-batch";

std::string ipv4Text(const unsigned char* a)
{
    char text[IPV4_TEXT_LEN];
    formatIpv4(text, a);
    return text;
}

std::string macText(const unsigned char* m)
{
    char text[MAC_TEXT_LEN];
    formatMac(text, m);
    return text;
}

static std::string hexPair(const unsigned char* b)
{
    char text[5];
    (void)snprintf(text, sizeof text, "%02x%02x", b[0], b[1]);
    return text;
}

// The node name as the console dumps show it.
static std::string safeName(const Response& r)
{
    char safe[NODE_NAME_LEN + 1] = "";
    (void)appendSafeText(safe, sizeof safe, r.nodeName, strlen((const char*)r.nodeName));
    return safe;
}

static size_t width(const std::string& cell)
{
    return displayWidth(cell.data(), cell.size());
}

// Columns padded to their widest cell on a terminal, two spaces apart, no trailing blanks.
static void printColumns(FILE* out, const std::vector<Row>& rows)
{
    std::vector<size_t> widths;
    for (const Row& row : rows) {
        widths.resize(row.size() > widths.size() ? row.size() : widths.size(), 0);
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = width(row[i]) > widths[i] ? width(row[i]) : widths[i];
        }
    }
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - width(row[i]) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);   // an empty last cell leaves no padding behind
        fprintf(out, "%s\n", line.c_str());
    }
}

static const char* const SCAN_COLUMNS[] = {"mac",     "ip",       "gateway",      "mask",   "node_name",
                                           "version", "node_id",  "node_id_type", "sender", "local",
                                           "answers", "conflict", "senders"};
static const size_t NAME_COLUMN = 4;   // the one column of device text

// The senders as a list: "A (IP a) and B (IP b)", with each one's node name when withNames.
static std::string sendersText(const std::vector<SenderReport>& senders, bool withNames)
{
    std::string text;
    for (size_t i = 0; i < senders.size(); ++i) {
        const Response& r = senders[i].response;
        text += i == 0 ? "" : i + 1 == senders.size() ? " and " : ", ";
        text += ipv4Text(senders[i].address.data()) + " (IP " + ipv4Text(r.ip);
        text += withNames ? ", name '" + safeName(r) + "')" : ")";
    }
    return text;
}

// What a flag says; each sender's node name too when withNames (the warning's words).
static std::string flagText(const Sighting& s, const ScanFlag& flag, bool withNames)
{
    std::string text;
    if (!flag.senders.empty()) {
        text = "MAC answered from " + sendersText(flag.senders, withNames);
    }
    if (flag.duplicateIp) {
        text += (text.empty() ? "" : "; ") + std::string("duplicate IP ") + ipv4Text(s.response.ip);
    }
    return text;
}

std::string conflictText(const Sighting& s, const ScanFlag& flag)
{
    return flagText(s, flag, false);
}

void printConflictWarnings(FILE* err, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
{
    for (size_t i = 0; i < found.size() && i < flags.size(); ++i) {
        std::string text = flagText(found[i], flags[i], true);
        if (!text.empty()) {
            fprintf(err, "%s: warning: %s: %s\n", BATCH_PROGRAM, macText(found[i].response.mac).c_str(), text.c_str());
        }
    }
}

void printOutcomeWarnings(FILE* err, const std::vector<Outcome>& outcomes)
{
    for (const Outcome& o : outcomes) {
        if (!isConflictState(o.state)) {
            continue;
        }
        fprintf(err, "%s: warning: %s: MAC answered from %s; %s\n", BATCH_PROGRAM, macText(o.mac).c_str(),
                sendersText(o.senders, true).c_str(),
                o.state == OUTCOME_CONFLICT
                    ? "nothing sent to it"
                    : "heard after the setting went out, which may have reached every one of them");
    }
}

// The senders as JSON: address, and the IP and node name each reported.
static nlohmann::ordered_json sendersJson(const std::vector<SenderReport>& senders)
{
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const SenderReport& one : senders) {
        nlohmann::ordered_json sender = nlohmann::ordered_json::object();
        sender["address"] = ipv4Text(one.address.data());
        sender["ip"] = ipv4Text(one.response.ip);
        sender["node_name"] = std::string((const char*)one.response.nodeName);
        all.push_back(sender);
    }
    return all;
}

// The senders' cell of a CSV row: the JSON array on one line, empty when there is no conflict.
static std::string sendersCell(const std::vector<SenderReport>& senders)
{
    return senders.empty() ? "" : jsonText(sendersJson(senders), -1);
}

static Row scanRow(const Sighting& s, const ScanFlag& flag, bool forPeople)
{
    const Response& r = s.response;
    std::string id = hexPair(r.nodeId);
    std::string type = hexPair(r.nodeType);
    if (forPeople && isMorvesta(r)) {
        id += " Morvesta";
    }
    if (forPeople && isK4Z(r)) {
        type += " K4Z";
    }
    return {macText(r.mac),
            ipv4Text(r.ip),
            ipv4Text(r.gateway),
            ipv4Text(r.mask),
            safeName(r),
            ipv4Text(r.version),
            id,
            type,
            ipv4Text(s.sender),
            ipv4Text(s.local),
            std::to_string(s.answers),
            conflictText(s, flag),
            sendersCell(flag.senders)};
}

void printScanTable(FILE* out, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
{
    std::vector<Row> rows;
    Row head;
    for (const char* column : SCAN_COLUMNS) {
        std::string name = column;
        for (char& c : name) {
            c = c == '_' ? ' ' : (char)(c - 'a' + 'A');
        }
        head.push_back(name);
    }
    head.pop_back();   // the senders: in the conflict column for people
    rows.push_back(head);
    for (size_t i = 0; i < found.size(); ++i) {
        Row row = scanRow(found[i], flags[i], true);
        row.pop_back();
        row.back() = row.back().empty() ? "" : "! " + row.back();   // the marker
        rows.push_back(row);
    }
    printColumns(out, rows);
}

// Text with each byte of no valid UTF-8 sequence replaced by U+FFFD, as the JSON library does: the
// texts that other programs read as UTF-8 are UTF-8 throughout.
static std::string validUtf8(const std::string& text)
{
    if (isUtf8(text.data(), text.size())) {
        return text;
    }
    const unsigned char* bytes = (const unsigned char*)text.data();
    std::string valid;
    for (size_t at = 0; at < text.size();) {
        unsigned long code = 0;
        int length = decodeUtf8(bytes + at, text.size() - at, &code);
        if (length > 0) {
            valid.append(text, at, (size_t)length);
        } else {
            valid.append("\xef\xbf\xbd");
        }
        at += length > 0 ? (size_t)length : 1;
    }
    return valid;
}

// Quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& cell)
{
    std::string text = validUtf8(cell);
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

static void printCsvRow(FILE* out, const Row& row)
{
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
        line += (i > 0 ? "," : "") + csvField(row[i]);
    }
    fprintf(out, "%s\r\n", line.c_str());
}

// Device text that a spreadsheet would take for a formula, behind an apostrophe.
std::string notFormula(const std::string& text)
{
    return !text.empty() && std::string("=+-@").find(text[0]) != std::string::npos ? "'" + text : text;
}

void printScanCsv(FILE* out, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
{
    printCsvRow(out, Row(std::begin(SCAN_COLUMNS), std::end(SCAN_COLUMNS)));
    for (size_t i = 0; i < found.size(); ++i) {
        Row row = scanRow(found[i], flags[i], false);
        row[NAME_COLUMN] = notFormula(row[NAME_COLUMN]);
        printCsvRow(out, row);
    }
}

nlohmann::ordered_json controllerJson(const Sighting& s, const ScanFlag& flag)
{
    const Response& r = s.response;
    Row row = scanRow(s, flag, false);
    nlohmann::ordered_json one = nlohmann::ordered_json::object();
    for (size_t c = 0; c < row.size(); ++c) {
        one[SCAN_COLUMNS[c]] = row[c];
    }
    one["node_name"] = std::string((const char*)r.nodeName);   // the raw bytes, escaped by the library
    one["answers"] = s.answers;
    one["senders"] = sendersJson(flag.senders);
    one["morvesta"] = isMorvesta(r);
    one["k4z"] = isK4Z(r);
    return one;
}

std::string jsonText(const nlohmann::ordered_json& value, int indent)
{
    return value.dump(indent, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

void printScanJson(FILE* out, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
{
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (size_t i = 0; i < found.size(); ++i) {
        all.push_back(controllerJson(found[i], flags[i]));
    }
    fprintf(out, "%s\n", jsonText(all, 2).c_str());
}

const char* outcomeName(OutcomeState state)
{
    return outcomeStateName(state);
}

static const char* const SUMMARY_KEYS[] = {
    "line",        "mac",      "state",         "ip",         "gateway", "mask", "before_ip", "before_gateway",
    "before_mask", "after_ip", "after_gateway", "after_mask", "senders",
};
static const char* const SUMMARY_HEADS[] = {
    "LINE",        "MAC",         "RESULT",           "IP",
    "GATEWAY",     "MASK",        "BEFORE IP",        "BEFORE GATEWAY",
    "BEFORE MASK", "REPORTED IP", "REPORTED GATEWAY", "REPORTED MASK",
};

// One summary row, its cells in the order of SUMMARY_KEYS; "" where not known.
static Row summaryRow(const Outcome& o)
{
    Row row = {o.line > 0 ? std::to_string(o.line) : "", macText(o.mac), outcomeName(o.state)};
    row.push_back(o.knownIp ? ipv4Text(o.target.ip) : "");
    row.push_back(o.knownGateway ? ipv4Text(o.target.gateway) : "");
    row.push_back(o.knownMask ? ipv4Text(o.target.mask) : "");
    for (const Response* r : {&o.before, &o.now}) {
        for (const unsigned char* a : {r->ip, r->gateway, r->mask}) {
            row.push_back(o.found ? ipv4Text(a) : "");
        }
    }
    row.push_back(sendersCell(o.senders));
    return row;
}

void printSummary(FILE* out, const std::vector<Outcome>& outcomes, bool withLine)
{
    size_t from = withLine ? 0 : 1;
    std::vector<Row> rows(1, Row(SUMMARY_HEADS + from, std::end(SUMMARY_HEADS)));
    for (const Outcome& o : outcomes) {
        Row row = summaryRow(o);
        row.pop_back();   // the senders: in a warning of their own
        row.erase(row.begin(), row.begin() + (long)from);
        for (std::string& cell : row) {
            cell = cell.empty() ? "-" : cell;
        }
        rows.push_back(row);
    }
    printColumns(out, rows);
}

void printSummaryCsv(FILE* out, const std::vector<Outcome>& outcomes, bool)
{
    printCsvRow(out, Row(std::begin(SUMMARY_KEYS), std::end(SUMMARY_KEYS)));
    for (const Outcome& o : outcomes) {
        printCsvRow(out, summaryRow(o));
    }
}

nlohmann::ordered_json outcomeJson(const Outcome& o)
{
    Row row = summaryRow(o);
    nlohmann::ordered_json one = nlohmann::ordered_json::object();
    for (size_t i = 0; i < row.size(); ++i) {
        one[SUMMARY_KEYS[i]] = row[i].empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(row[i]);
    }
    if (o.line > 0) {
        one["line"] = o.line;
    }
    one["senders"] = sendersJson(o.senders);
    return one;
}

void printSummaryJson(FILE* out, const std::vector<Outcome>& outcomes, bool)
{
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const Outcome& o : outcomes) {
        all.push_back(outcomeJson(o));
    }
    fprintf(out, "%s\n", jsonText(all, 2).c_str());
}

void printTally(FILE* err, const std::vector<Outcome>& outcomes)
{
    std::map<OutcomeState, long> counts;   // in the order of the states
    for (const Outcome& o : outcomes) {
        ++counts[o.state];
    }
    std::string line;
    for (const auto& c : counts) {
        const char* name = outcomeName(c.first);
        line += (line.empty() ? "" : ", ") + counted(c.second, name, name);
    }
    fprintf(err, "%s: %s\n", BATCH_PROGRAM, line.c_str());
}

void printByteOrderMark(FILE* out)
{
    fputs("\xef\xbb\xbf", out);
}

static void listCandidates(FILE* err, const std::vector<LocalInterface>& candidates)
{
    if (candidates.empty()) {
        fprintf(err, "  none: no interface other than loopback is up with an IPv4 address\n");
    }
    for (const LocalInterface& c : candidates) {
        fprintf(err, "  %s%s%s%s\n", ipv4Text(c.address).c_str(), c.name[0] != '\0' ? " " : "", c.name,
                c.tunnel ? " (a tunnel: used only when named)" : "");
    }
}

void printChoiceFailure(FILE* err, Choice choice, const std::string& where,
                        const std::vector<LocalInterface>& candidates)
{
    switch (choice) {
    case CHOICE_UNKNOWN:
        fprintf(err, "%s: no interface has the address or name '%s'; candidates:\n", BATCH_PROGRAM, where.c_str());
        listCandidates(err, candidates);
        break;
    case CHOICE_DOWN:
        fprintf(err, "%s: the interface '%s' is down; candidates:\n", BATCH_PROGRAM, where.c_str());
        listCandidates(err, candidates);
        break;
    case CHOICE_NONE:
        fprintf(err,
                "%s: no interface other than loopback or a tunnel is up with an IPv4 address; name one with "
                "--interface\n",
                BATCH_PROGRAM);
        if (!candidates.empty()) {
            listCandidates(err, candidates);   // tunnels alone
        }
        break;
    case CHOICE_AMBIGUOUS:
        fprintf(err, "%s: more than one interface to choose from; name one with --interface (or 'all'):\n",
                BATCH_PROGRAM);
        listCandidates(err, candidates);
        break;
    case CHOICE_FAILED:
        fprintf(err, "%s: ", BATCH_PROGRAM);
        printFailure(err, failureOf(FAILED_INTERFACES, NULL, 0));
        break;
    case CHOSEN:
        break;
    }
}

void printFailure(FILE* err, const Failure& f)
{
    const char* what = "";
    char bindWhat[40];
    switch (f.call) {
    case FAILED_SOCKET:
        what = "can't make a socket for";
        break;
    case FAILED_BIND:
        (void)snprintf(bindWhat, sizeof bindWhat, "can't bind to port %u on", SCAN_PORT);
        what = bindWhat;
        break;
    case FAILED_TTL:
        what = "can't set the multicast time-to-live on";
        break;
    case FAILED_SEND:
        what = "can't send from";
        break;
    case FAILED_RECEIVE:
        what = "can't receive on";
        break;
    case FAILED_NO_SOCKET:
        fprintf(err, "no socket for the address that found the controller\n");
        return;
    case FAILED_INTERFACES:
        fprintf(err, "can't list the local addresses\n");
        return;
    case FAILED_NONE:
        return;
    }
    fprintf(err, "%s %s%s\n", what, f.hasLocal ? ipv4Text(f.local).c_str() : "", errorWords(f.error).c_str());
}

std::string errorWords(int error)
{
    if (error == 0) {
        return "";
    }
    char text[256];
    errorText(error, text, sizeof text);
    std::string words = ": " + std::string(text) + " (error " + std::to_string(error) + ")";
    switch (errorCause(error)) {
    case CAUSE_ADDRESS_IN_USE:
        return words + "; is another brevindor or brevindor-batch running?";
    case CAUSE_NO_DEVICE:
        return words + "; is the interface still up with this address?";
    case CAUSE_NETWORK_DOWN:
        return words + "; is the interface up and connected?";
    case CAUSE_PERMISSION:
        return words + "; does a firewall block UDP port " + std::to_string(SCAN_PORT) +
               ", or does it need root (Administrator on Windows)?";
    case CAUSE_OTHER:
        break;
    }
    return words;
}

std::string counted(long count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void printEvent(FILE* err, const Event& e)
{
    switch (e.kind) {
    case EVENT_SCANNING:
        fprintf(err, "%s: scanning from %s%s%s\n", BATCH_PROGRAM, ipv4Text(e.local.address).c_str(),
                e.local.name[0] != '\0' ? " on " : "", e.local.name);
        break;
    case EVENT_SMALL_BUFFER:
        fprintf(err, "%s: warning: the receive buffer can't be enlarged\n", BATCH_PROGRAM);
        break;
    case EVENT_MAX_TIME:
        fprintf(err, "%s: answers kept coming; the scan ended at --max-time (%g s)\n", BATCH_PROGRAM, e.seconds);
        break;
    case EVENT_IGNORED:
        fprintf(err, "%s: ignored %s that %s no response (%ld too long)\n", BATCH_PROGRAM,
                counted(e.count, "datagram", "datagrams").c_str(), e.count == 1 ? "is" : "are", e.other);
        break;
    case EVENT_SCANNED:
        fprintf(err, "%s: %s, %s\n", BATCH_PROGRAM, counted(e.count, "controller", "controllers").c_str(),
                counted(e.other, "answer", "answers").c_str());
        break;
    case EVENT_NOT_FOUND:
        fprintf(err, "%s: no controller with MAC %s answered; nothing sent to it\n", BATCH_PROGRAM,
                macText(e.mac).c_str());
        break;
    case EVENT_SENT:
        fprintf(err, "%s: sent %s\n", BATCH_PROGRAM, counted(e.count, "setting", "settings").c_str());
        break;
    case EVENT_SCAN_WAIT:
    case EVENT_PLANNED_WAIT:
    case EVENT_VERIFY_WAIT:
        break;   // progress: for the status line (report/status_line.h), not a line of its own
    }
}

static const size_t SHOWN_TEXT_LEN = 40;   // characters; longer field texts are cut in messages

// A field of the plan as a message may quote it: by the device text rule, cut on a character.
static std::string shown(const std::string& text)
{
    char safe[SHOWN_TEXT_LEN * 4 + 1] = "";   // a character is at most four bytes
    size_t size = text.size() < sizeof safe - 1 ? text.size() : sizeof safe - 1;
    size_t taken = appendSafeText(safe, sizeof safe, (const unsigned char*)text.data(), size, SHOWN_TEXT_LEN);
    return "'" + validUtf8(safe) + (taken < text.size() ? "..." : "") + "'";
}

// An encoding the plan reader can't read, and how to get one it reads.
static std::string unreadable(const std::string& what)
{
    return what + "; save it with Save As, choosing CSV UTF-8 (or Unicode text)";
}

std::string planErrorText(const PlanError& e)
{
    switch (e.problem) {
    case PLAN_NO_HEADER:
        return "no header line (a mac column, and any of ip, gateway, mask)";
    case PLAN_BAD_HEADER:
        return "the header needs a mac column (found " + shown(e.field) + ")";
    case PLAN_COLUMN_TWICE:
        return "the header has the column " + shown(e.field) + " twice";
    case PLAN_NO_ROWS:
        return "no controller rows";
    case PLAN_FIELD_COUNT:
        return "more fields than the header's " + std::to_string(e.count) + " (found " + shown(e.field) + ")";
    case PLAN_OPEN_QUOTE:
        return "a quoted field is not closed before the end of the file";
    case PLAN_BAD_QUOTE:
        return "text after the closing quote of a field";
    case PLAN_BAD_MAC:
        return "bad MAC address " + shown(e.field);
    case PLAN_NO_MAC:
        return "the MAC address is missing";
    case PLAN_BAD_IP:
        return "bad IP address " + shown(e.field);
    case PLAN_BAD_GATEWAY:
        return "bad gateway " + shown(e.field);
    case PLAN_BAD_MASK:
        return "bad mask " + shown(e.field);
    case PLAN_MAC_TWICE:
        return "MAC " + shown(e.field) + " is already on line " + std::to_string(e.count);
    case PLAN_IP_TWICE:
        return "IP address " + shown(e.field) + " is already given on line " + std::to_string(e.count);
    case PLAN_UTF32:
        return unreadable("the plan is UTF-32, which is not read");
    case PLAN_UTF16_NO_BOM:
        return unreadable("the plan is UTF-16 without a byte-order mark, which is not read");
    case PLAN_UTF16_ODD:
        return unreadable("the plan is UTF-16 but ends in half a character (an odd number of bytes)");
    case PLAN_UTF16_SURROGATE:
        return unreadable("the plan is UTF-16 but holds half of a surrogate pair");
    case PLAN_NOT_UTF8:
        return unreadable("the " + e.field + " cell is not UTF-8 (the plan is in another encoding)");
    }
    return "";
}
