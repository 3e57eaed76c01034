#include "report/summary_forms.h"

#include <nlohmann/json.hpp>

#include <map>

#include "commission/outcome_names.h"
#include "report/cells.h"
#include "report/scan_forms.h"

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

static std::string summaryTable(const std::vector<Outcome>& outcomes, bool withLine)
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
    return columnsText(rows);
}

static std::string summaryCsv(const std::vector<Outcome>& outcomes)
{
    std::string text = csvLine(Row(std::begin(SUMMARY_KEYS), std::end(SUMMARY_KEYS)));
    for (const Outcome& o : outcomes) {
        text += csvLine(summaryRow(o));
    }
    return text;
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

static std::string summaryJson(const std::vector<Outcome>& outcomes)
{
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const Outcome& o : outcomes) {
        all.push_back(outcomeJson(o));
    }
    return jsonText(all, 2) + "\n";
}

std::string summaryText(TextFormat format, const std::vector<Outcome>& outcomes, bool withLine)
{
    switch (format) {
    case FORMAT_CSV:
        return summaryCsv(outcomes);
    case FORMAT_JSON:
        return summaryJson(outcomes);
    case FORMAT_TABLE:
        break;
    }
    return summaryTable(outcomes, withLine);
}

std::string tallyText(const std::vector<Outcome>& outcomes)
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
    return line;
}
