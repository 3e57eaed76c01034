// The journal: SHA-256 from the system, the chain of entries and what breaks it, the entries'
// fields, the filters, the last known addresses, appenders at once, failures with their number,
// and the listing's and the report's texts.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "commission/handover.h"
#include "commission/journal.h"
#include "commission/journal_read.h"
#include "platform/sha256.h"
#include "platform/user_files.h"
#include "protocol/address.h"
#include "report/handover_html.h"
#include "report/journal_text.h"
#include "support/journal_rows.h"

namespace {

typedef nlohmann::ordered_json Json;

std::string tempFolder()
{
    char path[] = "/tmp/journal-test.XXXXXX";
    return mkdtemp(path) != nullptr ? path : "";
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void spill(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& l : lines) {
        text += l + "\n";
    }
    return text;
}

const JournalWho WHO = {1765290600123LL, "anna", "LAPTOP-7"};   // 2025-12-09T14:30:00.123Z

// A journal of three runs: an apply of two rows verified, a set not confirmed, an apply
// interrupted (a start without an end).
std::string threeRuns(const std::string& folder)
{
    std::string path = folder + "/journal.jsonl";
    int error = 0;
    JournalRun first = journalTestRun();
    std::vector<Outcome> rows = {journalOutcome(1, OUTCOME_INTERRUPTED), journalOutcome(2, OUTCOME_INTERRUPTED)};
    EXPECT_TRUE(journalStart(path, first, rows, allRows(2), &error)) << error;
    rows = {journalOutcome(1, OUTCOME_VERIFIED), journalOutcome(2, OUTCOME_VERIFIED)};
    EXPECT_TRUE(journalEnd(path, first, rows, &error)) << error;
    JournalRun set = journalTestRun("set");
    set.planFile.clear();
    set.planSha256.clear();
    rows = {journalOutcome(3, OUTCOME_INTERRUPTED)};
    rows[0].line = 0;
    EXPECT_TRUE(journalStart(path, set, rows, allRows(1), &error));
    rows[0].state = OUTCOME_NOT_CONFIRMED;
    EXPECT_TRUE(journalEnd(path, set, rows, &error));
    JournalRun last = journalTestRun();
    rows = {journalOutcome(1, OUTCOME_INTERRUPTED), journalOutcome(4, OUTCOME_UNCHANGED)};
    EXPECT_TRUE(journalStart(path, last, rows, allRows(1), &error));
    return path;
}

}   // namespace

TEST(Journal, Sha256OfKnownTexts)
{
    const struct {
        std::string text;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},   // one block
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},   // two
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string("\0\xff", 2), "06eb7d6a69ee19e5fbdf749018d3d2abfa04bcbd1365db312eb86dc7169389b8"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sha256Hex(c.text), c.digest) << c.text.size() << " bytes";
    }
}

TEST(Journal, ChainOfRunsIsIntact)
{
    std::string path = threeRuns(tempFolder());
    std::vector<std::string> lines = linesOf(slurp(path));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(0, 75), "{\"prev\":\"" + std::string(FIRST_PREV) + "\",");
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(9, 64), sha256Hex(lines[i - 1])) << "line " << i + 1;
    }
    JournalRead read = readJournal(path, JournalFilter(), false);
    EXPECT_EQ(read.status, JOURNAL_FILE_READ);
    EXPECT_EQ(read.chain.result, CHAIN_INTACT);
    EXPECT_EQ(read.chain.lines, 5u);
    EXPECT_EQ(read.chain.lastSha256, sha256Hex(lines.back()));
    EXPECT_EQ(journalVerifyStatus(read), EXIT_OK);
    EXPECT_EQ(chainText(read.chain), "5 entries, chain intact\nlast line's SHA-256: " + sha256Hex(lines.back()) + "\n");
    EXPECT_EQ(chainText(ChainCheck()), "0 entries, chain intact\n");
}

// Each change to a journal of five lines, and the first line the check names.
TEST(Journal, WhatBreaksTheChain)
{
    std::string path = threeRuns(tempFolder());
    const std::vector<std::string> lines = linesOf(slurp(path));
    auto changed = [&](size_t k, const std::function<void(std::string&)>& change) {
        std::vector<std::string> copy = lines;
        change(copy[k]);
        return joined(copy);
    };
    auto without = [&](size_t k) {
        std::vector<std::string> copy = lines;
        copy.erase(copy.begin() + (long)k);
        return joined(copy);
    };
    auto oneByte = [](std::string& line) { line[line.find("192.168.0.3")] = '2'; };   // still JSON
    const struct {
        const char* what;
        std::string text;
        ChainBreak result;
        size_t line;
        const char* words;
    } cases[] = {
        {"one byte of an address in line 2", changed(1, oneByte), CHAIN_WRONG_PREV, 3,
         "chain broken at line 3: its prev is not the SHA-256 of line 2: that line was changed, or lines were "
         "removed between them\n"},
        {"line 3 removed", without(2), CHAIN_WRONG_PREV, 3, nullptr},
        {"the last line removed", without(4), CHAIN_INTACT, 0, nullptr},   // the head hash tells
        {"the first line removed", without(0), CHAIN_FIRST_NOT_ZEROS, 1,
         "chain broken at line 1: the first line's prev is not 64 zeros: lines before it were removed, or it was "
         "changed\n"},
        {"the first prev changed", changed(0, [](std::string& l) { l[9] = '1'; }), CHAIN_FIRST_NOT_ZEROS, 1, nullptr},
        {"a prev that is no hex", changed(3, [](std::string& l) { l[9] = 'G'; }), CHAIN_NOT_AN_ENTRY, 4, nullptr},
        {"JSON cut in line 2", changed(1, [](std::string& l) { l.pop_back(); }), CHAIN_NOT_AN_ENTRY, 2,
         "chain broken at line 2: it holds no journal entry (one JSON object beginning {\"prev\":\" and 64 hex "
         "digits)\n"},
        {"an empty line", joined({lines[0], "", lines[1]}), CHAIN_NOT_AN_ENTRY, 2, nullptr},
        {"CRLF line ends", changed(0, [](std::string& l) { l += "\r"; }), CHAIN_NOT_AN_ENTRY, 1, nullptr},
        {"the last line cut short", joined(lines).substr(0, joined(lines).size() - 40), CHAIN_CUT_SHORT, 5,
         "chain broken at line 5: it has no line end: its write did not finish, or the file was cut\n"},
        {"no line end after the last", joined(lines).substr(0, joined(lines).size() - 1), CHAIN_CUT_SHORT, 5, nullptr},
    };
    for (const auto& c : cases) {
        ChainCheck check = checkChainText(c.text);
        EXPECT_EQ(check.result, c.result) << c.what;
        EXPECT_EQ(check.brokenLine, c.line) << c.what;
        if (c.words != nullptr) {
            EXPECT_EQ(chainText(check), c.words) << c.what;
        }
        spill(path, c.text);
        JournalRead read = readJournal(path, JournalFilter(), false);
        EXPECT_EQ(read.chain.result, c.result) << c.what << ", read from the file";
        EXPECT_EQ(read.chain.brokenLine, c.line) << c.what << ", read from the file";
        EXPECT_EQ(journalVerifyStatus(read), c.result == CHAIN_INTACT ? EXIT_OK : 1) << c.what;
    }
}

// An append after a line cut short starts a line of its own; the damage stays named.
TEST(Journal, AppendAfterALineCutShort)
{
    std::string path = threeRuns(tempFolder());
    std::string text = slurp(path);
    std::string cut = text.substr(0, text.size() - 30);
    spill(path, cut);
    int error = 0;
    JournalRun run = journalTestRun();
    ASSERT_TRUE(journalEnd(path, run, {journalOutcome(1, OUTCOME_VERIFIED)}, &error));
    std::vector<std::string> lines = linesOf(slurp(path));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5].substr(9, 64), sha256Hex(lines[4]));
    ChainCheck check = checkChainText(slurp(path));
    EXPECT_EQ(check.result, CHAIN_NOT_AN_ENTRY);
    EXPECT_EQ(check.brokenLine, 5u);
}

TEST(Journal, StartAndEndEntries)
{
    JournalRun run = journalTestRun();
    run.runId = "00112233445566778899aabbccddeeff";
    run.undoFile = "/home/anna/before.csv";
    std::vector<Outcome> rows = {journalOutcome(1, OUTCOME_INTERRUPTED,
                                                "Gr\xc3\xb6\xc3\x9f"
                                                "e\x01"),
                                 journalOutcome(2, OUTCOME_NOT_FOUND), journalOutcome(3, OUTCOME_UNCHANGED, "\xff")};
    rows[0].knownGateway = false;   // a field kept at what the controller reports
    std::string start = journalStartLine(FIRST_PREV, run, WHO, rows, {0});
    for (char c : start) {
        ASSERT_TRUE((unsigned char)c >= 0x20 && (unsigned char)c < 0x7f) << "ASCII only: " << start;
    }
    Json s = Json::parse(start);
    std::vector<std::string> keys;
    for (auto it = s.begin(); it != s.end(); ++it) {
        keys.push_back(it.key());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"prev", "time", "entry", "run", "kind", "user", "computer", "program",
                                              "version", "interfaces", "plan", "undo", "rows"}));
    EXPECT_EQ(s["time"], "2025-12-09T14:30:00.123Z");
    EXPECT_EQ(s["entry"], "start");
    EXPECT_EQ(s["run"], run.runId);
    EXPECT_EQ(s["user"], "anna");
    EXPECT_EQ(s["computer"], "LAPTOP-7");
    EXPECT_EQ(s["program"], "brevindor-batch");
    EXPECT_EQ(s["version"], "1.08.0");
    EXPECT_EQ(s["interfaces"].dump(), R"([{"name":"lo","address":"127.0.0.1"}])");
    EXPECT_EQ(s["plan"].dump(), R"({"file":"line4.csv","sha256":")" + sha256Hex("mac,ip\n") + "\"}");
    EXPECT_EQ(s["undo"], "/home/anna/before.csv");
    ASSERT_EQ(s["rows"].size(), 3u);
    EXPECT_EQ(s["rows"][0].dump(),
              "{\"line\":2,\"mac\":\"00:1a:2b:3c:00:01\",\"node_name\":\"Gr\xc3\xb6\xc3\x9f"
              "e\\u0001\","
              "\"before\":{\"ip\":\"192.168.0.3\",\"gateway\":\"192.168.0.1\",\"mask\":\"255.255.255.0\"},"
              "\"target\":{\"ip\":\"192.168.0.103\",\"gateway\":null,\"mask\":\"255.255.255.0\"},"
              "\"send\":true}");
    EXPECT_TRUE(s["rows"][1]["before"].is_null()) << "not found";
    EXPECT_TRUE(s["rows"][1]["node_name"].is_null());
    EXPECT_EQ(s["rows"][1]["send"], false);
    EXPECT_EQ(s["rows"][2]["node_name"], "\xef\xbf\xbd") << "a byte of no UTF-8";

    run.planFile.clear();
    run.planSha256.clear();
    run.undoFile.clear();
    rows[0].state = OUTCOME_CONFLICT_AFTER_SENDING;
    SenderReport other = {{127, 0, 0, 9}, rows[0].before, true};
    rows[0].senders = {other, other};
    rows[0].line = 0;
    Json e = Json::parse(journalEndLine(sha256Hex(start), run, WHO, rows));
    EXPECT_EQ(e["prev"], sha256Hex(start));
    EXPECT_EQ(e["entry"], "end");
    EXPECT_TRUE(e["plan"].is_null());
    EXPECT_TRUE(e["undo"].is_null());
    EXPECT_TRUE(e["rows"][0]["line"].is_null()) << "set has no plan line";
    EXPECT_EQ(e["rows"][0]["state"], "conflict after sending");
    EXPECT_EQ(e["rows"][0]["senders"][0].dump(),
              "{\"address\":\"127.0.0.9\",\"ip\":\"192.168.0.3\",\"node_name\":\"Gr\xc3\xb6\xc3\x9f"
              "e\\u0001\"}");
    EXPECT_EQ(e["rows"][1]["state"], "not found");
    EXPECT_TRUE(e["rows"][1]["after"].is_null());
    EXPECT_EQ(e["rows"][2]["after"]["ip"], "192.168.0.5");
    EXPECT_EQ(e["rows"][2]["senders"].dump(), "[]");

    // Read back as it was written.
    JournalEntry back;
    ASSERT_TRUE(parseJournalEntry(start, 7, &back));
    EXPECT_EQ(back.lineNumber, 7u);
    EXPECT_EQ(back.timeMs, WHO.timeMs);
    EXPECT_EQ(back.kind, "apply");
    EXPECT_EQ(back.planFile, "line4.csv");
    ASSERT_EQ(back.interfaces.size(), 1u);
    EXPECT_STREQ(back.interfaces[0].name, "lo");
    ASSERT_EQ(back.rows.size(), 3u);
    EXPECT_EQ(back.rows[0].target.ip, "192.168.0.103");
    EXPECT_EQ(back.rows[0].target.gateway, "");
    EXPECT_TRUE(back.rows[0].send);
    EXPECT_FALSE(back.rows[1].before.known);
    EXPECT_FALSE(parseJournalEntry("{\"prev\":1}", 1, &back));
    EXPECT_FALSE(parseJournalEntry("[]", 1, &back));
}

TEST(Journal, TimesOfTheFilters)
{
    const char* zone = getenv("TZ");
    std::string saved = zone != nullptr ? zone : "";
    setenv("TZ", "Europe/Berlin", 1);   // UTC+1 in December, +2 in July
    tzset();
    const long long DAY = 1765238400000LL;   // 2025-12-09T00:00:00Z
    const struct {
        const char* text;
        bool upper;
        bool valid;
        long long ms;
    } cases[] = {
        {"2025-12-09T14:30:00.123Z", false, true, DAY + 52200123},
        {"2025-12-09T14:30:00Z", false, true, DAY + 52200000},
        {"2025-12-09T14:30Z", true, true, DAY + 52200000},
        {"2025-12-09T14:30:00.5Z", false, true, DAY + 52200500},
        {"2025-12-09T15:30:00+01:00", false, true, DAY + 52200000},
        {"2025-12-09T09:30:00-0500", false, true, DAY + 52200000},
        {"2025-12-09T15:30", false, true, DAY + 52200000},   // local
        {"2025-12-09 15:30:00", false, true, DAY + 52200000},
        {"2025-07-01T12:00", false, true, 1751364000000LL},   // summer time: 10:00Z
        {"2025-12-09", false, true, DAY - 3600000},           // local midnight
        {"2025-12-09", true, true, DAY + 86400000 - 3600000 - 1},
        {"2024-02-29", false, true, 1709161200000LL},
        {"2025-02-29", false, false, 0},
        {"2025-13-01", false, false, 0},
        {"2025-12-09T24:00Z", false, false, 0},
        {"2025-12-09T14:30:00Zjunk", false, false, 0},
        {"2025-12-9", false, false, 0},
        {"yesterday", false, false, 0},
        {"", false, false, 0},
        {"2025-12-09T14:30:00.Z", false, false, 0},
    };
    for (const auto& c : cases) {
        long long ms = 0;
        EXPECT_EQ(parseJournalTime(c.text, c.upper, &ms), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(ms, c.ms) << c.text;
        }
    }
    if (zone != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

// Entries at three moments; which the filters take, and with a MAC which rows.
TEST(Journal, Filters)
{
    std::string path = tempFolder() + "/journal.jsonl";
    int error = 0;
    JournalRun run = journalTestRun();
    const long long T0 = 1765290600000LL;   // 2025-12-09T14:30:00Z
    for (int k = 0; k < 3; ++k) {
        JournalWho who = {T0 + k * 3600000LL, "anna", "LAPTOP-7"};
        std::vector<Outcome> rows = {journalOutcome(k, OUTCOME_VERIFIED), journalOutcome(9, OUTCOME_UNCHANGED)};
        ASSERT_TRUE(appendLineLocked(
            path,
            [&](const std::string* last, std::string* line) {
                *line = journalEndLine(last == nullptr ? FIRST_PREV : sha256Hex(*last), run, who, rows);
                return true;
            },
            &error));
    }
    auto lineNumbers = [&](const JournalFilter& f) {
        std::vector<size_t> found;
        for (const JournalEntry& e : readJournal(path, f).entries) {
            found.push_back(e.lineNumber);
        }
        return found;
    };
    JournalFilter f;
    EXPECT_EQ(lineNumbers(f), (std::vector<size_t>{1, 2, 3}));
    f.hasSince = true;
    f.since = T0 + 3600000;
    EXPECT_EQ(lineNumbers(f), (std::vector<size_t>{2, 3})) << "since includes its moment";
    f.hasUntil = true;
    f.until = T0 + 3600000;
    EXPECT_EQ(lineNumbers(f), (std::vector<size_t>{2})) << "until too";
    f = JournalFilter();
    f.hasMac = true;
    ASSERT_TRUE(parseMac("00-1A-2B-3C-00-02", f.mac));
    JournalRead read = readJournal(path, f);
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].lineNumber, 3u);
    ASSERT_EQ(read.entries[0].rows.size(), 1u) << "only the MAC's rows";
    EXPECT_EQ(read.entries[0].rows[0].mac, "00:1a:2b:3c:00:02");
    Json listed = Json::parse(journalJson(read.entries));
    EXPECT_EQ(listed[0]["rows"].size(), 1u);
    EXPECT_EQ(journalListStatus(read), EXIT_OK);
    ASSERT_TRUE(parseMac("00:1a:2b:3c:00:07", f.mac));
    EXPECT_EQ(journalListStatus(readJournal(path, f)), EXIT_NOT_FOUND);
}

// The addresses a replace starts from: after a verified end, else the values before.
TEST(Journal, LastKnownAddresses)
{
    auto entry = [](const char* kind, const std::vector<JournalRow>& rows) {
        JournalEntry e;
        e.entry = kind;
        e.rows = rows;
        return e;
    };
    auto row = [](const char* state, const char* before, const char* after) {
        JournalRow r;
        r.mac = "00:1a:2b:3c:4d:01";
        r.state = state;
        r.before = {before[0] != '\0', before, "10.0.0.1", "255.0.0.0"};
        r.after = {after[0] != '\0', after, "10.0.0.1", "255.0.0.0"};
        return r;
    };
    const unsigned char MAC[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x01};
    const struct {
        const char* what;
        std::vector<JournalEntry> entries;
        bool known;
        const char* ip;
        size_t from = 0;   // the entry they come from
    } cases[] = {
        {"verified", {entry("end", {row("verified", "10.0.0.5", "10.0.0.6")})}, true, "10.0.0.6"},
        {"unchanged", {entry("end", {row("unchanged", "10.0.0.5", "10.0.0.5")})}, true, "10.0.0.5"},
        {"not confirmed", {entry("end", {row("not confirmed", "10.0.0.5", "10.0.0.5")})}, true, "10.0.0.5"},
        {"an interrupted run",
         {entry("end", {row("verified", "10.0.0.4", "10.0.0.5")}), entry("start", {row("", "10.0.0.5", "")})},
         true,
         "10.0.0.5",
         1},
        {"not found at last",
         {entry("end", {row("verified", "10.0.0.4", "10.0.0.5")}), entry("end", {row("not found", "", "")})},
         true,
         "10.0.0.5"},
        {"the latest wins",
         {entry("end", {row("verified", "10.0.0.4", "10.0.0.5")}),
          entry("end", {row("verified", "10.0.0.5", "10.0.0.9")})},
         true,
         "10.0.0.9",
         1},
        {"never found", {entry("end", {row("not found", "", "")})}, false, ""},
        {"no entry", {}, false, ""},
    };
    for (const auto& c : cases) {
        Addresses a = {};
        const JournalEntry* from = nullptr;
        EXPECT_EQ(lastKnownAddresses(c.entries, MAC, &a, &from), c.known) << c.what;
        if (c.known) {
            char ip[16];
            (void)snprintf(ip, sizeof ip, "%u.%u.%u.%u", a.ip[0], a.ip[1], a.ip[2], a.ip[3]);
            EXPECT_STREQ(ip, c.ip) << c.what;
            EXPECT_EQ(from, &c.entries[c.from]) << c.what;
            EXPECT_EQ(a.mask[0], 255) << c.what;
        }
    }
}

// Two processes appending at once: every line whole, the chain intact.
TEST(Journal, TwoAppendersAtOnce)
{
    std::string path = tempFolder() + "/journal.jsonl";
    const int EACH = 100;
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            JournalRun run = journalTestRun();
            std::vector<Outcome> rows;
            rows.reserve(10);
            for (int k = 0; k < 10; ++k) {
                rows.push_back(journalOutcome(k, OUTCOME_VERIFIED));
            }
            int error = 0;
            for (int i = 0; i < EACH; ++i) {
                if (!journalEnd(path, run, rows, &error)) {
                    _exit(1);
                }
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    JournalRead read = readJournal(path, JournalFilter());
    EXPECT_EQ(read.chain.result, CHAIN_INTACT) << "line " << read.chain.brokenLine;
    EXPECT_EQ(read.chain.lines, 2u * EACH);
    EXPECT_EQ(read.unreadable, 0u);
    std::map<std::string, int> perRun;
    for (const JournalEntry& e : read.entries) {
        ++perRun[e.run];
    }
    ASSERT_EQ(perRun.size(), 2u);
    for (const auto& run : perRun) {
        EXPECT_EQ(run.second, EACH);
    }
}

// A journal that can't be written says so with the error number, and nothing is appended.
TEST(Journal, FailuresKeepTheirNumber)
{
    std::string folder = tempFolder();
    spill(folder + "/file", "x");
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {folder + "/missing/journal.jsonl", ENOENT},
        {folder + "/file/journal.jsonl", ENOTDIR},
        {folder, EISDIR},
    };
    JournalRun run = journalTestRun();
    std::vector<Outcome> rows = {journalOutcome(1, OUTCOME_INTERRUPTED)};
    for (const auto& c : cases) {
        int error = 0;
        EXPECT_FALSE(canWriteJournal(c.path, &error)) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
        error = 0;
        EXPECT_FALSE(journalStart(c.path, run, rows, allRows(1), &error)) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
    int error = 0;
    EXPECT_TRUE(canWriteJournal("/dev/full", &error)) << "opens";
    EXPECT_FALSE(journalStart("/dev/full", run, rows, allRows(1), &error)) << "but takes nothing";
    EXPECT_EQ(error, ENOSPC);
    EXPECT_EQ(journalWriteFailureText("/dev/full", error),
              "can't write the journal /dev/full: No space left on device (error 28); nothing sent");
    JournalRead read = readJournal(folder + "/none.jsonl", JournalFilter());
    EXPECT_EQ(read.status, JOURNAL_FILE_MISSING);
    EXPECT_EQ(journalReadFailureText(folder + "/none.jsonl", read),
              "no journal at " + folder + "/none.jsonl (nothing recorded there yet)");
    EXPECT_EQ(journalListStatus(read), EXIT_NOT_FOUND);
    read = readJournal(folder, JournalFilter());   // a folder opens but can't be read
    EXPECT_EQ(read.status, JOURNAL_FILE_FAILED);
    EXPECT_EQ(read.error, EISDIR);
    EXPECT_EQ(journalVerifyStatus(read), EXIT_NETWORK);
}

// The default place: $XDG_STATE_HOME when absolute, else ~/.local/state; folders made 0700.
TEST(Journal, DefaultPlace)
{
    std::string folder = tempFolder();
    const char* home = getenv("HOME");
    const char* state = getenv("XDG_STATE_HOME");
    std::string savedHome = home != nullptr ? home : "";
    std::string savedState = state != nullptr ? state : "";
    const struct {
        const char* state;   // nullptr: unset
        std::string expected;
    } cases[] = {
        {"STATE/x", folder + "/STATE/x/brevindor/journal.jsonl"},
        {"relative/state", folder + "/home/.local/state/brevindor/journal.jsonl"},
        {"", folder + "/home/.local/state/brevindor/journal.jsonl"},
        {nullptr, folder + "/home/.local/state/brevindor/journal.jsonl"},
    };
    mkdir((folder + "/home").c_str(), 0755);
    setenv("HOME", (folder + "/home").c_str(), 1);
    for (const auto& c : cases) {
        if (c.state == nullptr) {
            unsetenv("XDG_STATE_HOME");
        } else {
            std::string value = std::string(c.state).rfind("STATE", 0) == 0 ? folder + "/" + c.state : c.state;
            setenv("XDG_STATE_HOME", value.c_str(), 1);
        }
        int error = 0;
        EXPECT_EQ(defaultJournalPath(&error), c.expected) << (c.state != nullptr ? c.state : "unset");
        std::string made = c.expected.substr(0, c.expected.rfind('/'));
        struct stat seen;
        ASSERT_EQ(stat(made.c_str(), &seen), 0) << made;
        EXPECT_EQ(seen.st_mode & 0777, 0700u) << made;
    }
    setenv("XDG_STATE_HOME", (folder + "/STATE/x").c_str(), 1);
    int error = 0;
    EXPECT_EQ(defaultUndoFolder(&error), folder + "/STATE/x/brevindor/undo");
    spill(folder + "/blocked", "");
    setenv("XDG_STATE_HOME", (folder + "/blocked").c_str(), 1);
    EXPECT_EQ(defaultJournalPath(&error), "");
    EXPECT_EQ(error, ENOTDIR);
    home != nullptr ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
    state != nullptr ? setenv("XDG_STATE_HOME", savedState.c_str(), 1) : unsetenv("XDG_STATE_HOME");
}

// The listing: changes shown as "before -> new", names through the safe-text rule, CSV cells
// behind the formula guard.
TEST(Journal, ListingForms)
{
    JournalRun run = journalTestRun();
    run.runId = "00112233445566778899aabbccddeeff";
    std::vector<Outcome> rows = {journalOutcome(1, OUTCOME_INTERRUPTED, "=HYPERLINK(\"x\")"),
                                 journalOutcome(2, OUTCOME_NOT_FOUND)};
    std::string start = journalStartLine(FIRST_PREV, run, WHO, rows, {0});
    rows[0].state = OUTCOME_VERIFIED;
    rows[0].now.ip[3] = 103;
    rows[0].before.nodeName[1] = '\x1b';
    std::string end = journalEndLine(sha256Hex(start), run, WHO, rows);
    std::vector<JournalEntry> entries(2);
    ASSERT_TRUE(parseJournalEntry(start, 1, &entries[0]));
    ASSERT_TRUE(parseJournalEntry(end, 2, &entries[1]));
    EXPECT_EQ(journalTable(entries),
              "TIME                      RUN       ENTRY  KIND   USER  COMPUTER  MAC                NODE NAME        "
              "IP                            GATEWAY      MASK           STATE\n"
              "2025-12-09T14:30:00.123Z  00112233  start  apply  anna  LAPTOP-7  00:1a:2b:3c:00:01  =HYPERLINK(\"x\")  "
              "192.168.0.3 -> 192.168.0.103  192.168.0.1  255.255.255.0  to send\n"
              "2025-12-09T14:30:00.123Z  00112233  start  apply  anna  LAPTOP-7  00:1a:2b:3c:00:02  -                "
              "192.168.0.104                 192.168.0.1  255.255.255.0  not sent\n"   // the target alone
              "2025-12-09T14:30:00.123Z  00112233  end    apply  anna  LAPTOP-7  00:1a:2b:3c:00:01  =?YPERLINK(\"x\")  "
              "192.168.0.3 -> 192.168.0.103  192.168.0.1  255.255.255.0  verified\n"
              "2025-12-09T14:30:00.123Z  00112233  end    apply  anna  LAPTOP-7  00:1a:2b:3c:00:02  -                "
              "-                             -            -              not found\n");
    std::vector<std::string> csv = linesOf(journalCsv(entries));
    ASSERT_EQ(csv.size(), 5u);
    EXPECT_EQ(csv[0].substr(0, 40), "time,run,entry,kind,user,computer,progra");
    EXPECT_NE(csv[1].find(",2,00:1a:2b:3c:00:01,\"'=HYPERLINK(\"\"x\"\")\",true,,192.168.0.3,192.168.0.1,"
                          "255.255.255.0,192.168.0.103,192.168.0.1,255.255.255.0,,,,\r"),
              std::string::npos)
        << csv[1];
    EXPECT_NE(csv[4].find(",3,00:1a:2b:3c:00:02,,,not found,,,,,,,,,,\r"), std::string::npos) << csv[4];
    Json json = Json::parse(journalJson(entries));
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0].dump(), Json::parse(start).dump()) << "the entries as stored";
}

// The handover: each controller once, from before its first run to after its last.
TEST(Journal, HandoverOfARange)
{
    std::string path = threeRuns(tempFolder());
    JournalRead read = readJournal(path, JournalFilter());
    Handover h = handoverOf(read, "", "2025-12-09", "");
    EXPECT_EQ(h.title, "Handover report");
    EXPECT_EQ(h.entries, 5u);
    EXPECT_EQ(h.operators.size(), 1u);
    EXPECT_EQ(h.programs, (std::vector<std::string>{"brevindor-batch 1.08.0"}));
    ASSERT_EQ(h.rows.size(), 4u);
    const struct {
        const char* mac;
        bool ended;
        const char* state;
        const char* after;
        size_t runs;
    } expected[] = {
        {"00:1a:2b:3c:00:01", false, "", "", 2},   // verified, then in the interrupted run
        {"00:1a:2b:3c:00:02", true, "verified", "192.168.0.104", 1},
        {"00:1a:2b:3c:00:03", true, "not confirmed", "192.168.0.5", 1},
        {"00:1a:2b:3c:00:04", false, "", "", 1},
    };
    for (size_t i = 0; i < h.rows.size(); ++i) {
        EXPECT_EQ(h.rows[i].mac, expected[i].mac);
        EXPECT_EQ(h.rows[i].ended, expected[i].ended) << expected[i].mac;
        EXPECT_EQ(h.rows[i].state, expected[i].state) << expected[i].mac;
        EXPECT_EQ(h.rows[i].after.ip, expected[i].after) << expected[i].mac;
        EXPECT_EQ(h.rows[i].runs, expected[i].runs) << expected[i].mac;
    }
    EXPECT_EQ(h.rows[0].before.ip, "192.168.0.3") << "from the first run";
    EXPECT_EQ(handoverStatus(read), EXIT_OK);

    HandoverMaker maker = {path, "brevindor-batch", "1.08.0", "LAPTOP-7", "2025-12-10T08:00:00.000Z"};
    h.title = "Line 4 <north> & \"south\"";
    h.rows[1].nodeName = "<script>alert(1)</script>\x07";
    std::string html = handoverHtml(h, maker);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find("<title>Line 4 &lt;north&gt; &amp; &quot;south&quot;</title>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;?"), std::string::npos);
    EXPECT_NE(html.find("@page { size: A4 portrait;"), std::string::npos);
    EXPECT_NE(html.find("<thead>"), std::string::npos);
    EXPECT_NE(html.find("5 entries, chain intact; the last line&#39;s SHA-256 is " + read.chain.lastSha256),
              std::string::npos);
    EXPECT_NE(html.find("<td>192.168.0.3/24 gw 192.168.0.1</td><td>&ndash;</td><td>no end recorded (2 runs)</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<td>192.168.0.4/24 gw 192.168.0.1</td><td>192.168.0.104/24 gw 192.168.0.1</td><td>verified"),
              std::string::npos);
    EXPECT_NE(html.find("Made</th><td>2025-12-10 08:00:00 UTC by brevindor-batch 1.08.0 on LAPTOP-7"),
              std::string::npos);
    EXPECT_EQ(html.find("http"), std::string::npos) << "nothing fetched";
    size_t rows = 0;
    for (size_t at = html.find("<tr><td class=\"n\">"); at != std::string::npos;
         at = html.find("<tr><td class=\"n\">", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(rows, 4u);

    spill(path, slurp(path) + "{\"prev\":\"x\"}\n");
    read = readJournal(path, JournalFilter());
    EXPECT_EQ(handoverStatus(read), 1) << "written, but the chain is broken";
    EXPECT_TRUE(handoverWritten(read));
    EXPECT_NE(handoverHtml(handoverOf(read, "", "", ""), maker).find("class=\"broken\">chain broken at line 6"),
              std::string::npos);
}
