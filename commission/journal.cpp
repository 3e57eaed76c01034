#include "commission/journal.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>

#include "commission/outcome_names.h"
#include "platform/host.h"
#include "platform/sha256.h"
#include "platform/user_files.h"

typedef nlohmann::ordered_json Json;

const char FIRST_PREV[] = "0000000000000000000000000000000000000000000000000000000000000000";

static const char JOURNAL_FILE[] = "journal.jsonl";
static const char UNDO_FOLDER[] = "undo";

static std::string hexOf(const unsigned char* bytes, size_t size)
{
    static const char DIGITS[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += DIGITS[bytes[i] >> 4];
        text += DIGITS[bytes[i] & 15];
    }
    return text;
}

std::string sha256Hex(const std::string& bytes)
{
    unsigned char digest[SHA256_BYTES];
    return sha256(bytes.data(), bytes.size(), digest) ? hexOf(digest, sizeof digest) : "";
}

std::string newJournalRunId()
{
    unsigned char id[16];
    if (!randomBytes(id, sizeof id)) {
        long long now = wallClockMs();
        for (size_t i = 0; i < sizeof id; ++i) {
            id[i] = (unsigned char)(now >> (8 * (i % 8)));
        }
    }
    return hexOf(id, sizeof id);
}

JournalWho journalWhoNow()
{
    return {wallClockMs(), userName(), computerName()};
}

std::string defaultJournalPath(int* error)
{
    std::string folder = userStateFolder(error);
    return folder.empty() ? "" : folder + PATH_SEPARATOR + JOURNAL_FILE;
}

std::string defaultUndoFolder(int* error)
{
    std::string folder = userStateFolder(error);
    if (folder.empty()) {
        return "";
    }
    folder += PATH_SEPARATOR + std::string(UNDO_FOLDER);
    return makeUserFolder(folder, error) ? folder : "";
}

static std::string ipText(const unsigned char* a)
{
    char text[16];
    (void)snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

// The MAC as the batch program shows it: lowercase pairs joined by ':'.
static std::string macOf(const unsigned char* mac)
{
    std::string text;
    for (int i = 0; i < MAC_LEN; ++i) {
        text += (i > 0 ? ":" : "") + hexOf(mac + i, 1);
    }
    return text;
}

static Json addressesJson(const unsigned char* ip, const unsigned char* gateway, const unsigned char* mask)
{
    return Json{{"ip", ipText(ip)}, {"gateway", ipText(gateway)}, {"mask", ipText(mask)}};
}

static Json reportedJson(const Outcome& o, const Response& r)
{
    return o.found ? addressesJson(r.ip, r.gateway, r.mask) : Json();
}

static Json nodeName(const Outcome& o)
{
    return o.found ? Json(std::string((const char*)o.before.nodeName)) : Json();
}

static Json lineOf(const Outcome& o)
{
    return o.line > 0 ? Json(o.line) : Json();
}

// What every entry holds, after its prev.
static Json entryHead(const std::string& prev, const char* entry, const JournalRun& run, const JournalWho& who)
{
    Json head = Json::object();
    head["prev"] = prev;
    head["time"] = utcTimeText(who.timeMs);
    head["entry"] = entry;
    head["run"] = run.runId;
    head["kind"] = run.kind;
    head["user"] = who.user;
    head["computer"] = who.computer;
    head["program"] = run.program;
    head["version"] = run.version;
    Json interfaces = Json::array();
    for (const LocalInterface& i : run.interfaces) {
        interfaces.push_back({{"name", std::string(i.name)}, {"address", ipText(i.address)}});
    }
    head["interfaces"] = interfaces;
    head["plan"] = run.planFile.empty() && run.planSha256.empty()
                       ? Json()
                       : Json{{"file", run.planFile.empty() ? Json() : Json(run.planFile)}, {"sha256", run.planSha256}};
    head["undo"] = run.undoFile.empty() ? Json() : Json(run.undoFile);
    return head;
}

// One line of text: ASCII, bytes that are no UTF-8 as U+FFFD.
static std::string lineText(const Json& entry)
{
    return entry.dump(-1, ' ', true, Json::error_handler_t::replace);
}

std::string journalStartLine(const std::string& prev, const JournalRun& run, const JournalWho& who,
                             const std::vector<Outcome>& outcomes, const std::vector<size_t>& toSend)
{
    std::vector<bool> sending(outcomes.size(), false);
    for (size_t i : toSend) {
        sending[i] = i < sending.size();
    }
    Json rows = Json::array();
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const Outcome& o = outcomes[i];
        const Addresses& t = o.target;
        Json target = Json{{"ip", o.knownIp ? Json(ipText(t.ip)) : Json()},
                           {"gateway", o.knownGateway ? Json(ipText(t.gateway)) : Json()},
                           {"mask", o.knownMask ? Json(ipText(t.mask)) : Json()}};
        rows.push_back({{"line", lineOf(o)},
                        {"mac", macOf(o.mac)},
                        {"node_name", nodeName(o)},
                        {"before", reportedJson(o, o.before)},
                        {"target", target},
                        {"send", (bool)sending[i]}});
    }
    Json entry = entryHead(prev, "start", run, who);
    entry["rows"] = rows;
    return lineText(entry);
}

std::string journalEndLine(const std::string& prev, const JournalRun& run, const JournalWho& who,
                           const std::vector<Outcome>& outcomes)
{
    Json rows = Json::array();
    for (const Outcome& o : outcomes) {
        Json senders = Json::array();
        for (const SenderReport& s : o.senders) {
            senders.push_back({{"address", ipText(s.address.data())},
                               {"ip", ipText(s.response.ip)},
                               {"node_name", std::string((const char*)s.response.nodeName)}});
        }
        rows.push_back({{"line", lineOf(o)},
                        {"mac", macOf(o.mac)},
                        {"node_name", nodeName(o)},
                        {"state", outcomeStateName(o.state)},
                        {"before", reportedJson(o, o.before)},
                        {"after", reportedJson(o, o.now)},
                        {"senders", senders}});
    }
    Json entry = entryHead(prev, "end", run, who);
    entry["rows"] = rows;
    return lineText(entry);
}

bool canWriteJournal(const std::string& path, int* error)
{
    return canAppendTo(path, error);
}

// Appends the line made from the previous one's hash, under the lock.
static bool appendEntry(const std::string& path, const std::function<std::string(const std::string& prev)>& make,
                        int* error)
{
    return appendLineLocked(
        path,
        [&](const std::string* last, std::string* line) {
            std::string prev = last == NULL ? std::string(FIRST_PREV) : sha256Hex(*last);
            *line = make(prev);
            return !prev.empty();
        },
        error);
}

bool journalStart(const std::string& path, const JournalRun& run, const std::vector<Outcome>& outcomes,
                  const std::vector<size_t>& toSend, int* error)
{
    JournalWho who = journalWhoNow();
    return appendEntry(
        path, [&](const std::string& prev) { return journalStartLine(prev, run, who, outcomes, toSend); }, error);
}

bool journalEnd(const std::string& path, const JournalRun& run, const std::vector<Outcome>& outcomes, int* error)
{
    JournalWho who = journalWhoNow();
    return appendEntry(
        path, [&](const std::string& prev) { return journalEndLine(prev, run, who, outcomes); }, error);
}
