#include "report/scan_forms.h"

#include <nlohmann/json.hpp>

#include <cstring>

#include "report/cells.h"

static const char* const SCAN_COLUMNS[] = {"mac",     "ip",       "gateway",      "mask",   "node_name",
                                           "version", "node_id",  "node_id_type", "sender", "local",
                                           "answers", "conflict", "senders"};
static const size_t NAME_COLUMN = 4;   // the one column of device text

static std::string hexPair(const unsigned char* b)
{
    char text[5];
    (void)snprintf(text, sizeof text, "%02x%02x", b[0], b[1]);
    return text;
}

std::string sendersText(const std::vector<SenderReport>& senders, bool withNames)
{
    std::string text;
    for (size_t i = 0; i < senders.size(); ++i) {
        const Response& r = senders[i].response;
        text += i == 0 ? "" : i + 1 == senders.size() ? " and " : ", ";
        text += ipv4Text(senders[i].address.data()) + " (IP " + ipv4Text(r.ip);
        text += withNames ? ", name '" + safeNodeName(r) + "')" : ")";
    }
    return text;
}

// What a flag says; each sender's node name too when withNames.
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

std::string conflictWords(const Sighting& s, const ScanFlag& flag)
{
    return flagText(s, flag, true);
}

nlohmann::ordered_json sendersJson(const std::vector<SenderReport>& senders)
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

std::string sendersCell(const std::vector<SenderReport>& senders)
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
            safeNodeName(r),
            ipv4Text(r.version),
            id,
            type,
            ipv4Text(s.sender),
            ipv4Text(s.local),
            std::to_string(s.answers),
            conflictText(s, flag),
            sendersCell(flag.senders)};
}

static std::string scanTable(const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
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
    return columnsText(rows);
}

static std::string scanCsv(const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
{
    std::string text = csvLine(Row(std::begin(SCAN_COLUMNS), std::end(SCAN_COLUMNS)));
    for (size_t i = 0; i < found.size(); ++i) {
        Row row = scanRow(found[i], flags[i], false);
        row[NAME_COLUMN] = notFormula(row[NAME_COLUMN]);
        text += csvLine(row);
    }
    return text;
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

static std::string scanJson(const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
{
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (size_t i = 0; i < found.size(); ++i) {
        all.push_back(controllerJson(found[i], flags[i]));
    }
    return jsonText(all, 2) + "\n";
}

std::string scanText(TextFormat format, const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
{
    switch (format) {
    case FORMAT_CSV:
        return scanCsv(found, flags);
    case FORMAT_JSON:
        return scanJson(found, flags);
    case FORMAT_TABLE:
        break;
    }
    return scanTable(found, flags);
}
