#include "commission/journal_read.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "commission/journal.h"
#include "commission/outcome_names.h"
#include "platform/host.h"
#include "platform/user_files.h"
#include "protocol/address.h"

typedef nlohmann::ordered_json Json;

// Every line begins {"prev":" and the 64 hex digits, then '"', and ends in '}'. The chain's check
// looks no further into a line (the JSON is read only by the listing): a change anywhere in it
// shows as the next line's prev.
static const char PREV_HEAD[] = "{\"prev\":\"";
static const size_t PREV_AT = sizeof PREV_HEAD - 1;
static const size_t HEX_DIGITS = 64;

static bool isLowerHex(const std::string& text, size_t from, size_t count)
{
    for (size_t i = from; i < from + count; ++i) {
        if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f'))) {
            return false;
        }
    }
    return true;
}

static ChainBreak breakOf(const ChainCheck& check, const std::string& line, bool cut)
{
    if (cut) {
        return CHAIN_CUT_SHORT;
    }
    if (line.size() < PREV_AT + HEX_DIGITS + 1 || line.compare(0, PREV_AT, PREV_HEAD) != 0 ||
        !isLowerHex(line, PREV_AT, HEX_DIGITS) || line[PREV_AT + HEX_DIGITS] != '"' || line.back() != '}') {
        return CHAIN_NOT_AN_ENTRY;
    }
    bool first = check.lines == 1;
    if (line.compare(PREV_AT, HEX_DIGITS, first ? std::string(FIRST_PREV) : check.lastSha256) != 0) {
        return first ? CHAIN_FIRST_NOT_ZEROS : CHAIN_WRONG_PREV;
    }
    return CHAIN_INTACT;
}

bool checkChainLine(ChainCheck& check, const std::string& line, bool cut)
{
    ++check.lines;
    ChainBreak why = check.result == CHAIN_INTACT ? breakOf(check, line, cut) : CHAIN_INTACT;
    if (why != CHAIN_INTACT) {
        check.result = why;
        check.brokenLine = check.lines;
    }
    check.lastSha256 = sha256Hex(line);
    return why == CHAIN_INTACT;
}

ChainCheck checkChainText(const std::string& text)
{
    ChainCheck check;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        bool cut = end == std::string::npos;
        end = cut ? text.size() : end;
        (void)checkChainLine(check, text.substr(at, end - at), cut);
        at = end + 1;
    }
    return check;
}

// The JSON text at key, "" when null, missing or no text.
static std::string textAt(const Json& object, const char* key)
{
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

static JournalAddresses addressesAt(const Json& object, const char* key)
{
    JournalAddresses a;
    auto found = object.find(key);
    if (found != object.end() && found->is_object()) {
        a.known = true;
        a.ip = textAt(*found, "ip");
        a.gateway = textAt(*found, "gateway");
        a.mask = textAt(*found, "mask");
    }
    return a;
}

static JournalRow rowOf(const Json& row)
{
    JournalRow r;
    auto line = row.find("line");
    r.line = line != row.end() && line->is_number_integer() ? line->get<int>() : 0;
    r.mac = textAt(row, "mac");
    r.nodeName = textAt(row, "node_name");
    r.before = addressesAt(row, "before");
    r.target = addressesAt(row, "target");
    auto send = row.find("send");
    r.send = send != row.end() && send->is_boolean() && send->get<bool>();
    r.state = textAt(row, "state");
    r.after = addressesAt(row, "after");
    auto senders = row.find("senders");
    if (senders != row.end() && senders->is_array()) {
        for (const Json& s : *senders) {
            if (s.is_object()) {
                r.senders.push_back({textAt(s, "address"), textAt(s, "ip"), textAt(s, "node_name")});
            }
        }
    }
    return r;
}

bool parseJournalEntry(const std::string& line, size_t lineNumber, JournalEntry* entry)
{
    Json value = Json::parse(line, nullptr, false);
    if (!value.is_object()) {
        return false;
    }
    JournalEntry e;
    e.lineNumber = lineNumber;
    e.text = line;
    e.time = textAt(value, "time");
    e.entry = textAt(value, "entry");
    if (!parseJournalTime(e.time, false, &e.timeMs) || (e.entry != "start" && e.entry != "end")) {
        return false;
    }
    e.run = textAt(value, "run");
    e.kind = textAt(value, "kind");
    e.user = textAt(value, "user");
    e.computer = textAt(value, "computer");
    e.program = textAt(value, "program");
    e.version = textAt(value, "version");
    auto interfaces = value.find("interfaces");
    if (interfaces != value.end() && interfaces->is_array()) {
        for (const Json& i : *interfaces) {
            LocalInterface one = {};
            std::string name = i.is_object() ? textAt(i, "name") : "";
            (void)snprintf(one.name, sizeof one.name, "%s", name.c_str());
            std::string address = i.is_object() ? textAt(i, "address") : "";
            (void)parseIpv4(address.c_str(), one.address);
            e.interfaces.push_back(one);
        }
    }
    auto plan = value.find("plan");
    if (plan != value.end() && plan->is_object()) {
        e.planFile = textAt(*plan, "file");
        e.planSha256 = textAt(*plan, "sha256");
    }
    e.undoFile = textAt(value, "undo");
    auto rows = value.find("rows");
    if (rows != value.end() && rows->is_array()) {
        for (const Json& row : *rows) {
            if (row.is_object()) {
                e.rows.push_back(rowOf(row));
            }
        }
    }
    *entry = e;
    return true;
}

// The digits of text at *at, count of them exactly, as a number.
static bool digits(const std::string& text, size_t* at, size_t count, int* value)
{
    if (*at + count > text.size()) {
        return false;
    }
    int v = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = text[*at + i];
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    *at += count;
    *value = v;
    return true;
}

static bool take(const std::string& text, size_t* at, char c)
{
    if (*at < text.size() && text[*at] == c) {
        ++*at;
        return true;
    }
    return false;
}

static int daysIn(int year, int month)
{
    static const int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : DAYS[month - 1];
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
static long long daysFromCivil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    long long era = (year >= 0 ? year : year - 399) / 400;
    long long yoe = year - era * 400;
    long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool parseJournalTime(const std::string& text, bool upperEnd, long long* ms)
{
    size_t at = 0;
    int year = 0, month = 0, day = 0;
    if (!digits(text, &at, 4, &year) || !take(text, &at, '-') || !digits(text, &at, 2, &month) ||
        !take(text, &at, '-') || !digits(text, &at, 2, &day) || month < 1 || month > 12 || day < 1 ||
        day > daysIn(year, month) || year < 1970) {
        return false;
    }
    if (at == text.size()) {   // a local date: the whole day
        long long start = 0;
        long long next = 0;
        if (!localTimeMs(year, month, day, 0, 0, 0, &start) || !localTimeMs(year, month, day + 1, 0, 0, 0, &next)) {
            return false;
        }
        *ms = upperEnd ? next - 1 : start;
        return true;
    }
    int hour = 0, minute = 0, second = 0, milli = 0;
    if (!(take(text, &at, 'T') || take(text, &at, ' ')) || !digits(text, &at, 2, &hour) || !take(text, &at, ':') ||
        !digits(text, &at, 2, &minute) || hour > 23 || minute > 59) {
        return false;
    }
    if (take(text, &at, ':') && (!digits(text, &at, 2, &second) || second > 59)) {
        return false;
    }
    if (take(text, &at, '.')) {
        size_t from = at;
        int fraction = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - from < 9) {
            fraction = at - from < 3 ? fraction * 10 + (text[at] - '0') : fraction;
            ++at;
        }
        if (at == from) {
            return false;
        }
        for (size_t n = at - from; n < 3; ++n) {
            fraction *= 10;
        }
        milli = fraction;
    }
    long long clock = ((long long)hour * 3600 + (long long)minute * 60 + second) * 1000 + milli;
    if (at == text.size()) {   // local time
        long long start = 0;
        if (!localTimeMs(year, month, day, hour, minute, second, &start)) {
            return false;
        }
        *ms = start + milli;
        return true;
    }
    long long offset = 0;   // east of UTC, in ms
    if (take(text, &at, 'Z')) {
        offset = 0;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int sign = text[at] == '-' ? -1 : 1;
        ++at;
        int oh = 0, om = 0;
        bool hours = digits(text, &at, 2, &oh);
        (void)take(text, &at, ':');   // +01:00 or +0100
        if (!hours || !digits(text, &at, 2, &om) || oh > 23 || om > 59) {
            return false;
        }
        offset = sign * ((long long)oh * 60 + om) * 60000;
    } else {
        return false;
    }
    if (at != text.size()) {
        return false;
    }
    *ms = daysFromCivil(year, month, day) * 86400000LL + clock - offset;
    return true;
}

static bool sameMac(const std::string& text, const unsigned char* mac)
{
    unsigned char parsed[MAC_LEN];
    return parseMac(text.c_str(), parsed) && memcmp(parsed, mac, MAC_LEN) == 0;
}

// Whether filter takes e; with a MAC, e keeps only its rows.
static bool takes(const JournalFilter& filter, JournalEntry* e)
{
    if ((filter.hasSince && e->timeMs < filter.since) || (filter.hasUntil && e->timeMs > filter.until)) {
        return false;
    }
    if (!filter.hasMac) {
        return true;
    }
    std::vector<JournalRow> rows;
    for (const JournalRow& r : e->rows) {
        if (sameMac(r.mac, filter.mac)) {
            rows.push_back(r);
        }
    }
    e->rows = rows;
    return !rows.empty();
}

// Whether the line, as the journal writes it ("time" right after "prev"), lies outside the
// filter's range: known without parsing it. False when the time is not where it is written.
static bool outsideRange(const JournalFilter& filter, const std::string& line)
{
    static const char TIME_KEY[] = ",\"time\":\"";
    const size_t at = PREV_AT + HEX_DIGITS + 1;
    const size_t length = sizeof "2026-12-09T14:30:00.123Z" - 1;
    if ((!filter.hasSince && !filter.hasUntil) || line.size() < at ||
        line.compare(at, sizeof TIME_KEY - 1, TIME_KEY) != 0) {
        return false;
    }
    long long ms = 0;
    size_t from = at + sizeof TIME_KEY - 1;
    if (line.size() < from + length + 1 || line[from + length] != '"' ||
        !parseJournalTime(line.substr(from, length), false, &ms)) {
        return false;
    }
    return (filter.hasSince && ms < filter.since) || (filter.hasUntil && ms > filter.until);
}

JournalRead readJournal(const std::string& path, const JournalFilter& filter, bool parse)
{
    JournalRead read;
    FILE* file = openForReading(path);
    if (file == NULL) {
        read.error = errno;
        read.status = errno == ENOENT ? JOURNAL_FILE_MISSING : JOURNAL_FILE_FAILED;
        return read;
    }
    auto takeLine = [&](const std::string& line, bool cut) {
        (void)checkChainLine(read.chain, line, cut);
        JournalEntry e;
        if (!parse || outsideRange(filter, line)) {
            return;
        }
        if (!parseJournalEntry(line, read.chain.lines, &e)) {
            ++read.unreadable;
        } else if (takes(filter, &e)) {
            read.entries.push_back(e);
        }
    };
    std::string pending;
    std::vector<char> buffer(1 << 16);
    size_t got = 0;
    bool tooLong = false;
    while (!tooLong && (got = fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        const char* at = buffer.data();
        const char* end = buffer.data() + got;
        while (at < end) {
            const char* newline = (const char*)memchr(at, '\n', (size_t)(end - at));
            pending.append(at, newline == NULL ? end : newline);
            if (pending.size() > LOCKED_LINE_MAX) {
                tooLong = true;
                break;
            }
            if (newline == NULL) {
                break;
            }
            takeLine(pending, false);
            pending.clear();
            at = newline + 1;
        }
    }
    if (ferror(file) != 0) {
        read.error = errno;
        read.status = JOURNAL_FILE_FAILED;
    }
    fclose(file);
    if (tooLong) {
        ++read.chain.lines;
        if (read.chain.result == CHAIN_INTACT) {
            read.chain.result = CHAIN_TOO_LONG;
            read.chain.brokenLine = read.chain.lines;
        }
    } else if (!pending.empty() && read.status == JOURNAL_FILE_READ) {
        takeLine(pending, true);
    }
    return read;
}

static bool addressesOf(const JournalAddresses& a, Addresses* out)
{
    Addresses parsed = {};
    if (!a.known || !parseIpv4(a.ip.c_str(), parsed.ip) || !parseIpv4(a.gateway.c_str(), parsed.gateway) ||
        !parseIpv4(a.mask.c_str(), parsed.mask)) {
        return false;
    }
    *out = parsed;
    return true;
}

bool lastKnownAddresses(const std::vector<JournalEntry>& entries, const unsigned char* mac, Addresses* addresses,
                        const JournalEntry** entry)
{
    for (size_t k = entries.size(); k-- > 0;) {
        const JournalEntry& e = entries[k];
        for (const JournalRow& r : e.rows) {
            if (!sameMac(r.mac, mac)) {
                continue;
            }
            bool settled = e.entry == "end" && (r.state == outcomeStateName(OUTCOME_VERIFIED) ||
                                                r.state == outcomeStateName(OUTCOME_UNCHANGED));
            if ((settled && addressesOf(r.after, addresses)) || addressesOf(r.before, addresses)) {
                *entry = &e;
                return true;
            }
        }
    }
    return false;
}

int journalListStatus(const JournalRead& read)
{
    if (read.status == JOURNAL_FILE_FAILED) {
        return EXIT_NETWORK;
    }
    return read.entries.empty() ? EXIT_NOT_FOUND : EXIT_OK;
}

int journalVerifyStatus(const JournalRead& read)
{
    if (read.status == JOURNAL_FILE_FAILED) {
        return EXIT_NETWORK;
    }
    return read.status == JOURNAL_FILE_MISSING || read.chain.result != CHAIN_INTACT ? EXIT_NOT_FOUND : EXIT_OK;
}

bool journalReplacementRow(const std::vector<JournalEntry>& entries, const unsigned char* oldMac,
                           const unsigned char* newMac, PlanRow* row)
{
    Addresses known;
    const JournalEntry* entry = nullptr;
    if (!lastKnownAddresses(entries, oldMac, &known, &entry)) {
        return false;
    }
    *row = PlanRow();
    memcpy(row->mac, newMac, MAC_LEN);
    row->setIp = row->setGateway = row->setMask = true;
    memcpy(row->ip, known.ip, IPV4_LEN);
    memcpy(row->gateway, known.gateway, IPV4_LEN);
    memcpy(row->mask, known.mask, IPV4_LEN);
    return true;
}
