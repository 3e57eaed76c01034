#include "report/journal_text.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <set>

#include "platform/platform.h"
#include "platform/user_files.h"
#include "report/cells.h"
#include "report/device_text.h"
#include "report/formats.h"

typedef nlohmann::ordered_json Json;

// A file's error number in words: ": " and the system's text with the number.
static std::string fileErrorWords(int error)
{
    char text[256];
    errorText(error, text, sizeof text);
    return ": " + std::string(text) + " (error " + std::to_string(error) + ")";
}

// Text from a device or a person as it may be shown (report/device_text.h).
static std::string safe(const std::string& text)
{
    std::string shown(text.size() + 1, '\0');
    (void)appendSafeText(&shown[0], shown.size(), (const unsigned char*)text.data(), text.size());
    shown.resize(strlen(shown.c_str()));
    return shown;
}

static std::string orDash(const std::string& text)
{
    return text.empty() ? "-" : text;
}

// One address field as people read it: the value, or "before -> new" when it changes.
static std::string changeText(const std::string& before, const std::string& now)
{
    if (before.empty()) {
        return orDash(now);
    }
    return now.empty() || now == before ? before : before + " -> " + now;
}

static std::string stateOf(const JournalEntry& e, const JournalRow& r)
{
    if (e.entry == "start") {
        return r.send ? "to send" : "not sent";
    }
    return r.state;
}

static const JournalAddresses& newValues(const JournalEntry& e, const JournalRow& r)
{
    return e.entry == "start" ? r.target : r.after;
}

// Columns padded to their widest cell, two spaces apart, no trailing blanks.
static std::string columns(const std::vector<Row>& rows)
{
    std::vector<size_t> widths;
    for (const Row& row : rows) {
        widths.resize(row.size() > widths.size() ? row.size() : widths.size(), 0);
        for (size_t i = 0; i < row.size(); ++i) {
            size_t w = displayWidth(row[i].data(), row[i].size());
            widths[i] = w > widths[i] ? w : widths[i];
        }
    }
    std::string text;
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - displayWidth(row[i].data(), row[i].size()) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + "\n";
    }
    return text;
}

std::string journalTable(const std::vector<JournalEntry>& entries)
{
    std::vector<Row> rows = {
        {"TIME", "RUN", "ENTRY", "KIND", "USER", "COMPUTER", "MAC", "NODE NAME", "IP", "GATEWAY", "MASK", "STATE"}};
    for (const JournalEntry& e : entries) {
        Row head = {e.time,         e.run.substr(0, 8),   e.entry,
                    orDash(e.kind), orDash(safe(e.user)), orDash(safe(e.computer))};
        if (e.rows.empty()) {
            Row row = head;
            row.resize(rows[0].size(), "-");
            rows.push_back(row);
        }
        for (const JournalRow& r : e.rows) {
            const JournalAddresses& now = newValues(e, r);
            Row row = head;
            row.push_back(orDash(r.mac));
            row.push_back(orDash(safe(r.nodeName)));
            row.push_back(changeText(r.before.ip, now.ip));
            row.push_back(changeText(r.before.gateway, now.gateway));
            row.push_back(changeText(r.before.mask, now.mask));
            row.push_back(orDash(stateOf(e, r)));
            rows.push_back(row);
        }
    }
    return columns(rows);
}

static const char* const CSV_COLUMNS[] = {
    "time",           "run",         "entry",    "kind",          "user",           "computer",    "program",
    "version",        "interfaces",  "plan",     "plan_sha256",   "undo",           "line",        "mac",
    "node_name",      "send",        "state",    "before_ip",     "before_gateway", "before_mask", "target_ip",
    "target_gateway", "target_mask", "after_ip", "after_gateway", "after_mask",     "senders"};

static void addAddresses(Row* row, const JournalAddresses& a)
{
    row->push_back(a.ip);
    row->push_back(a.gateway);
    row->push_back(a.mask);
}

// Person's and device's text in a cell: shown safely, never as a formula.
static std::string cell(const std::string& text)
{
    return notFormula(safe(text));
}

std::string journalCsv(const std::vector<JournalEntry>& entries)
{
    std::string text = csvLine(Row(std::begin(CSV_COLUMNS), std::end(CSV_COLUMNS)));
    for (const JournalEntry& e : entries) {
        std::string interfaces;
        for (const LocalInterface& i : e.interfaces) {
            interfaces += (interfaces.empty() ? "" : " ") + std::string(i.name) + "=" + ipv4Text(i.address);
        }
        Row head = {e.time,           e.run,           e.entry,         e.kind,           cell(e.user),
                    cell(e.computer), cell(e.program), cell(e.version), cell(interfaces), cell(e.planFile),
                    e.planSha256,     cell(e.undoFile)};
        if (e.rows.empty()) {
            Row row = head;
            row.resize(std::end(CSV_COLUMNS) - std::begin(CSV_COLUMNS), "");
            text += csvLine(row);
        }
        for (const JournalRow& r : e.rows) {
            Row row = head;
            row.push_back(r.line > 0 ? std::to_string(r.line) : "");
            row.push_back(r.mac);
            row.push_back(cell(r.nodeName));
            row.push_back(e.entry == "start" ? (r.send ? "true" : "false") : "");
            row.push_back(r.state);
            addAddresses(&row, r.before);
            addAddresses(&row, r.target);
            addAddresses(&row, r.after);
            Json senders = Json::array();
            for (const JournalSender& s : r.senders) {
                senders.push_back({{"address", s.address}, {"ip", s.ip}, {"node_name", s.nodeName}});
            }
            row.push_back(r.senders.empty() ? "" : jsonText(senders, -1));
            text += csvLine(row);
        }
    }
    return text;
}

std::string journalJson(const std::vector<JournalEntry>& entries)
{
    Json all = Json::array();
    for (const JournalEntry& e : entries) {
        Json entry = Json::parse(e.text, nullptr, false);
        std::set<std::string> kept;   // a --mac filter leaves only its rows
        for (const JournalRow& r : e.rows) {
            kept.insert(r.mac);
        }
        auto rows = entry.find("rows");
        if (rows != entry.end() && rows->is_array()) {
            Json only = Json::array();
            for (const Json& r : *rows) {
                auto mac = r.find("mac");
                if (mac != r.end() && mac->is_string() && kept.count(mac->get<std::string>()) > 0) {
                    only.push_back(r);
                }
            }
            *rows = only;
        }
        all.push_back(entry);
    }
    return jsonText(all, 2) + "\n";
}

static std::string breakText(const ChainCheck& c)
{
    switch (c.result) {
    case CHAIN_FIRST_NOT_ZEROS:
        return "the first line's prev is not 64 zeros: lines before it were removed, or it was changed";
    case CHAIN_WRONG_PREV:
        return "its prev is not the SHA-256 of line " + std::to_string(c.brokenLine - 1) + ": that line was changed, " +
               "or lines were removed between them";
    case CHAIN_NOT_AN_ENTRY:
        return "it holds no journal entry (one JSON object beginning {\"prev\":\" and 64 hex digits)";
    case CHAIN_CUT_SHORT:
        return "it has no line end: its write did not finish, or the file was cut";
    case CHAIN_TOO_LONG:
        return "it is longer than " + std::to_string(LOCKED_LINE_MAX >> 20) + " MiB";
    case CHAIN_INTACT:
        break;
    }
    return "";
}

std::string chainSummary(const ChainCheck& c)
{
    if (c.result != CHAIN_INTACT) {
        return "chain broken at line " + std::to_string(c.brokenLine) + ": " + breakText(c);
    }
    std::string text = counted((long)c.lines, "entry", "entries") + ", chain intact";
    return c.lines == 0 ? text : text + "; the last line's SHA-256 is " + c.lastSha256;
}

std::string chainText(const ChainCheck& c)
{
    if (c.result != CHAIN_INTACT) {
        return chainSummary(c) + "\n";
    }
    std::string text = counted((long)c.lines, "entry", "entries") + ", chain intact\n";
    return c.lines == 0 ? text : text + "last line's SHA-256: " + c.lastSha256 + "\n";
}

std::string journalReadFailureText(const std::string& path, const JournalRead& read)
{
    switch (read.status) {
    case JOURNAL_FILE_MISSING:
        return "no journal at " + path + " (nothing recorded there yet)";
    case JOURNAL_FILE_FAILED:
        return "can't read the journal " + path + fileErrorWords(read.error);
    case JOURNAL_FILE_READ:
        break;
    }
    return "";
}

std::string journalWriteFailureText(const std::string& path, int error)
{
    return "can't write the journal " + path + fileErrorWords(error) + "; nothing sent";
}

std::string undoFolderFailureText(int error)
{
    return "no place for the undo files: the user's state folder can't be had" + fileErrorWords(error) +
           "; name one with --undo-dir DIR";
}

std::string journalPlaceFailureText(int error)
{
    return "no place for the journal: the user's state folder can't be had" + fileErrorWords(error) +
           "; name one with --journal FILE, or give --no-journal";
}

std::string journalNothingText(const std::string& path)
{
    return "no entry of the journal " + path + " matches";
}
