// brevindor-batch journal and report on journals the test writes with the journal's own
// functions: the listing's forms and filters, the chain's check, the default place, the handover
// report, and that report printed to PDF by headless chromium, its rows read back from the PDF.
#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "e2e/harness.h"
#include "support/journal_rows.h"

namespace {

// A journal of runs runs of rows rows each, every row verified, into path.
void writeJournal(const std::string& path, int runs, int rows)
{
    int error = 0;
    for (int r = 0; r < runs; ++r) {
        JournalRun run = journalTestRun();
        std::vector<Outcome> outcomes;
        outcomes.reserve((size_t)rows);
        for (int k = 0; k < rows; ++k) {
            outcomes.push_back(journalOutcome(r * rows + k, OUTCOME_INTERRUPTED, k == 0 ? "<b>Pump-1</b>" : "Valve"));
        }
        ASSERT_TRUE(journalStart(path, run, outcomes, allRows(outcomes.size()), &error)) << error;
        for (Outcome& o : outcomes) {
            o.state = OUTCOME_VERIFIED;
            memcpy(o.now.ip, o.target.ip, IPV4_LEN);
        }
        ASSERT_TRUE(journalEnd(path, run, outcomes, &error)) << error;
    }
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

const std::string NOW = "2025-12-09";   // before every entry: they are written now

}   // namespace

class Journal : public Network {};

TEST_F(Journal, CommandsOnAJournal)
{
    if (dir.empty()) {
        return;
    }
    std::string journal = dir + "/journal.jsonl";
    writeJournal(journal, 3, 2);   // 6 lines, controllers 0 to 5
    std::string text = readFile(journal);
    std::string lastLine = text.substr(text.rfind('\n', text.size() - 2) + 1);
    lastLine.pop_back();
    std::string changed = text;
    changed[changed.find("192.168.0.3")] = '7';
    file("changed.jsonl", changed);
    std::string removed = text;
    size_t second = removed.find('\n') + 1;
    removed.erase(second, removed.find('\n', second) + 1 - second);
    file("removed.jsonl", removed);
    const struct {
        std::vector<std::string> args;
        int status;
        std::function<void(const ToolRun&)> check;
    } cases[] = {
        {{"journal", "--verify", "--journal", journal},
         0,
         [&](const ToolRun& r) {
             EXPECT_EQ(r.out, "6 entries, chain intact\nlast line's SHA-256: " + sha256Hex(lastLine) + "\n");
             EXPECT_EQ(r.err, "");
         }},
        {{"journal", "--verify", "--journal", dir + "/changed.jsonl"},
         1,
         [&](const ToolRun& r) {
             EXPECT_EQ(r.out, "chain broken at line 2: its prev is not the SHA-256 of line 1: that line was changed, "
                              "or lines were removed between them\n");
         }},
        {{"journal", "--verify", "--journal", dir + "/removed.jsonl"},
         1,
         [&](const ToolRun& r) { EXPECT_EQ(r.out.substr(0, 24), "chain broken at line 2: "); }},
        {{"journal", "--journal", journal},
         0,
         [&](const ToolRun& r) {
             EXPECT_EQ(count(r.out, "\n"), 13u) << r.out;   // the head, two rows an entry
             EXPECT_EQ(count(r.out, " to send\n"), 6u) << r.out;
             EXPECT_EQ(count(r.out, " verified\n"), 6u) << r.out;
             EXPECT_NE(r.out.find("<b>Pump-1</b>"), std::string::npos) << r.out;
         }},
        {{"journal", "--journal", journal, "--format", "csv", "--mac", "00-1A-2B-3C-00-03", "--since", NOW},
         0,
         [&](const ToolRun& r) {
             EXPECT_EQ(count(r.out, "\r\n"), 3u) << r.out;
             EXPECT_EQ(count(r.out, ",00:1a:2b:3c:00:03,"), 2u) << r.out;
         }},
        {{"journal", "--journal", journal, "--format", "json", "--until", NOW},
         1,
         [&](const ToolRun& r) {
             EXPECT_EQ(r.out, "[]\n");
             EXPECT_EQ(r.err, "brevindor-batch: no entry of the journal " + journal + " matches\n");
         }},
        {{"journal", "--journal", journal, "--since", "2025-12-32"},
         2,
         [&](const ToolRun& r) { EXPECT_EQ(r.err.substr(0, 40), "brevindor-batch: bad --since '2025-12-32"); }},
        {{"journal", "--journal", dir + "/none.jsonl"},
         1,
         [&](const ToolRun& r) {
             EXPECT_EQ(r.err, "brevindor-batch: no journal at " + dir + "/none.jsonl (nothing recorded there yet)\n");
         }},
        {{"journal", "--journal", dir},
         3,
         [&](const ToolRun& r) {
             EXPECT_EQ(r.err, "brevindor-batch: can't read the journal " + dir + ": Is a directory (error 21)\n");
         }},
        {{"report", "--journal", journal, "--title", "Line 4 & <north>"},
         0,
         [&](const ToolRun& r) {
             EXPECT_EQ(r.out.substr(0, 15), "<!DOCTYPE html>");
             EXPECT_NE(r.out.find("<h1>Line 4 &amp; &lt;north&gt;</h1>"), std::string::npos);
             EXPECT_EQ(count(r.out, "<tr><td class=\"n\">"), 6u);
             EXPECT_NE(r.out.find("&lt;b&gt;Pump-1&lt;/b&gt;"), std::string::npos);
             EXPECT_NE(r.out.find("6 entries, chain intact"), std::string::npos);
             EXPECT_EQ(r.err, "");
         }},
        {{"report", "--journal", dir + "/changed.jsonl"},
         1,
         [&](const ToolRun& r) {
             EXPECT_NE(r.out.find("class=\"broken\">chain broken at line 2"), std::string::npos);
             EXPECT_EQ(r.err.substr(0, 46), "brevindor-batch: warning: chain broken at line");
         }},
        {{"report", "--journal", journal, "--until", NOW},
         1,
         [&](const ToolRun& r) {
             EXPECT_EQ(r.out, "");
             EXPECT_EQ(r.err, "brevindor-batch: no entry of the journal " + journal + " matches; no report written\n");
         }},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) {
            line += " " + a;
        }
        ToolRun r = batch(c.args);
        EXPECT_EQ(r.exitCode, c.status) << line << "\n" << r.err;
        c.check(r);
    }
}

// Without --journal: $XDG_STATE_HOME/brevindor/journal.jsonl, the folders made 0700.
TEST_F(Journal, DefaultPlace)
{
    if (dir.empty()) {
        return;
    }
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    ToolRun none = batch({"journal", "--verify"});
    EXPECT_EQ(none.exitCode, 1);
    std::string journal = dir + "/state/brevindor/journal.jsonl";
    EXPECT_EQ(none.err, "brevindor-batch: no journal at " + journal + " (nothing recorded there yet)\n");
    struct stat seen;
    ASSERT_EQ(stat((dir + "/state/brevindor").c_str(), &seen), 0);
    EXPECT_EQ(seen.st_mode & 0777, 0700u);
    writeJournal(journal, 1, 1);
    ToolRun verified = batch({"journal", "--verify"});
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(verified.out.substr(0, 25), "2 entries, chain intact\nl");
    unsetenv("XDG_STATE_HOME");
}

// The report of 60 controllers printed to PDF in headless chromium: every row there, the table's
// head on every page.
TEST_F(Journal, ReportPrintsToPdf)
{
    if (dir.empty()) {
        return;
    }
    for (const char* need : {"/usr/bin/chromium", "/usr/bin/pdftotext"}) {
        if (access(need, X_OK) != 0) {
            unavailable(std::string(need) + " is missing (tools/packages.sh installs it)");
            return;
        }
    }
    std::string journal = dir + "/journal.jsonl";
    writeJournal(journal, 6, 10);
    ToolRun report = batch({"report", "--journal", journal, "--title", "Line 4"});
    ASSERT_EQ(report.exitCode, 0) << report.err;
    std::string html = file("handover.html", report.out);
    ToolRun print =
        runProgram("/usr/bin/chromium",
                   {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage", "--no-pdf-header-footer",
                    "--user-data-dir=" + dir + "/profile", "--print-to-pdf=" + dir + "/handover.pdf", "file://" + html},
                   "", dir, 120);
    ASSERT_EQ(print.exitCode, 0) << print.err;
    ToolRun text = runProgram("/usr/bin/pdftotext", {"-layout", dir + "/handover.pdf", "-"}, "", dir, 60);
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (int k = 0; k < 60; ++k) {
        char mac[32];
        (void)snprintf(mac, sizeof mac, "00:1a:2b:3c:%02x:%02x", k / 256, k % 256);
        EXPECT_NE(text.out.find(mac), std::string::npos) << mac;
    }
    size_t pagesWithRows = 0;
    for (size_t from = 0, end = 0; (end = text.out.find('\f', from)) != std::string::npos; from = end + 1) {
        std::string page = text.out.substr(from, end - from);
        if (page.find("00:1a:2b:3c:") != std::string::npos) {
            ++pagesWithRows;
            EXPECT_NE(page.find("Node name"), std::string::npos) << "the table's head on every page:\n" << page;
        }
    }
    EXPECT_GE(pagesWithRows, 2u) << "60 rows and the facts take more than one page";
    EXPECT_NE(text.out.find("Line 4"), std::string::npos);
    EXPECT_NE(text.out.find("<b>Pump-1</b>"), std::string::npos) << "shown as text";
    EXPECT_NE(text.out.find("Signature"), std::string::npos);
}

// Every set, apply and replace is recorded by the runner: start and end around the one setting;
// a journal that can't be written stops the run before anything is sent.
TEST_F(Journal, RecordedAroundTheSetting)
{
    if (dir.empty()) {
        return;
    }
    const std::string mac = ctl(1).mac;
    struct Case {
        const char* journal;   // --journal's file under dir; nullptr: --no-journal
        int status;
        size_t entries;
        const char* ip;
    };
    const Case cases[] = {
        {"j.jsonl", 0, 2, "192.168.1.50"},
        {"missing/j.jsonl", 3, 0, "192.168.1.60"},
        {nullptr, 0, 0, "192.168.1.70"},
    };
    size_t logged = 0;   // the stand-ins' log, one after the other, in one file
    for (const Case& c : cases) {
        std::vector<std::string> args = {"set", "--interface", "127.0.0.1", "--mac", mac, "--ip", c.ip};
        if (c.journal != nullptr) {
            args.insert(args.end(), {"--journal", dir + "/" + c.journal});
        } else {
            args.push_back("--no-journal");
        }
        controllers({ctl(1)});   // a new one each run, at its first address
        ToolRun run = batch(args);
        EXPECT_EQ(run.exitCode, c.status) << run.err;
        std::string log = received();
        log.erase(0, logged);
        logged += log.size();
        std::string text = c.journal != nullptr ? readFile(dir + "/" + c.journal) : "";
        EXPECT_EQ(count(text, "\n"), c.entries) << text;
        if (c.status == 3) {
            EXPECT_EQ(run.err, "brevindor-batch: can't write the journal " + dir + "/" + c.journal +
                                   ": No such file or directory; nothing sent\n");
            EXPECT_EQ(log.find(" 28 56 4b 44 41 01 00 01 02"), std::string::npos) << "no setting sent: " << log;
        }
        if (c.entries == 2) {
            EXPECT_NE(text.find("\"entry\":\"start\""), std::string::npos) << text;
            EXPECT_NE(text.find("\"kind\":\"set\""), std::string::npos) << text;
            EXPECT_NE(text.find("\"state\":\"verified\""), std::string::npos) << text;
            ToolRun verified = batch({"journal", "--verify", "--journal", dir + "/" + c.journal});
            EXPECT_EQ(verified.exitCode, 0) << verified.out << verified.err;
        }
    }
    EXPECT_EQ(readFile(dir + "/state/brevindor/journal.jsonl"), "") << "--no-journal records nothing";
}

// replace without --from: the old controller's values as the journal last knew them; a MAC the
// journal never saw is refused as before, nothing sent.
TEST_F(Journal, ReplaceTakesTheLastKnownValues)
{
    if (dir.empty()) {
        return;
    }
    const std::string journal = dir + "/j.jsonl";
    writeJournal(journal, 1, 2);   // controller 1 verified at 192.168.0.103
    const struct {
        const char* old;
        int status;
        const char* shown;   // in the result or the refusal
    } cases[] = {
        {"00:1a:2b:3c:00:01", 0, "192.168.0.103"},
        {"00:1a:2b:3c:00:09", 2, "the journal knows no values of 00:1a:2b:3c:00:09"},
    };
    for (const auto& c : cases) {
        controllers({ctl(2)});
        ToolRun run = batch({"replace", "--old", c.old, "--new", "00:1a:2b:3c:00:02", "--journal", journal,
                             "--interface", "127.0.0.1", "--settle", "0"});
        EXPECT_EQ(run.exitCode, c.status) << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(c.shown), std::string::npos) << run.out << run.err;
        received();
    }
}
