// The batch program's command line: the bounds of the seconds options, the formats, options given
// to the wrong command, and the operands, with the whole usage error each refusal prints.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/options.h"
#include "support/argv.h"

namespace {

int notRun(const Settings&)
{
    return 0;
}

// The commands as the program has them, with what each takes; usage texts play no part here.
const Command COMMANDS[] = {
    {"scan", notRun, "", SCAN_OPTIONS, SCAN_SHORT_OPTIONS, 0},
    {"set", notRun, "", SET_OPTIONS, PLAN_SHORT_OPTIONS, 0},
    {"apply", notRun, "", APPLY_OPTIONS, PLAN_SHORT_OPTIONS, 1},
    {"replace", notRun, "", REPLACE_OPTIONS, PLAN_SHORT_OPTIONS, 0},
    {"watch", notRun, "", WATCH_OPTIONS, WATCH_SHORT_OPTIONS, 0},
    {"journal", notRun, "", JOURNAL_OPTIONS, JOURNAL_SHORT_OPTIONS, 0},
    {"report", notRun, "", REPORT_OPTIONS, JOURNAL_SHORT_OPTIONS, 0},
};
const int COMMAND_COUNT = sizeof COMMANDS / sizeof COMMANDS[0];

// One setting as text, by name, to compare with a row's expectation.
std::string settingText(const Settings& s, const std::string& name)
{
    const struct {
        const char* name;
        std::string value;
    } all[] = {
        {"where", s.where},
        {"timeout", std::to_string(s.apply.scan.quiet)},
        {"max-time", std::to_string(s.apply.scan.maxTime)},
        {"verify-time", std::to_string(s.apply.verifyTime)},
        {"format", std::to_string((int)s.format)},
        {"mac", s.mac},
        {"ip", s.ip},
        {"gateway", s.gateway},
        {"mask", s.mask},
        {"plan", s.plan},
        {"undo", s.undo},
        {"no-verify", s.apply.noVerify ? "yes" : "no"},
        {"dry-run", s.apply.dryRun ? "yes" : "no"},
        {"journal", s.journal},
        {"no-journal", s.noJournal ? "yes" : "no"},
        {"since", s.since},
        {"until", s.until},
        {"title", s.title},
        {"verify", s.verify ? "yes" : "no"},
        {"every", std::to_string(s.watch.every)},
        {"gone-after", std::to_string(s.watch.goneAfter)},
        {"watch max-time", std::to_string(s.watch.maxTime)},
    };
    for (const auto& one : all) {
        if (name == one.name) {
            return one.value;
        }
    }
    return "no setting " + name;
}

std::string refused(const std::string& why)
{
    return "brevindor-batch: " + why + "\nTry 'brevindor-batch --help'.\n";
}

// getopt keeps its place, and its way of ordering, from the first call on; the program reads its
// options once, the table many times: each row starts getopt afresh, as for c.
void forgetEarlierOptions(const Command& c)
{
    char name[] = "brevindor-batch";
    char* only[] = {name, nullptr};
    optind = 0;
    while (getopt_long(1, only, c.shortOptions, c.options, nullptr) != -1) {
    }
}

const int USAGE = 2;
const int HELP = -1;

}   // namespace

TEST(BatchOptions, Table)
{
    const struct {
        std::vector<std::string> args;   // the command, then its options
        int status;
        std::string error;   // the whole of standard error
        const char* setting = nullptr;
        std::string value = "";   // that setting after reading, as settingText gives it
    } cases[] = {
        // The seconds: --timeout and --verify-time from 0, --max-time above 0, all up to 86400.
        {{"scan", "--timeout", "0"}, 0, "", "timeout", "0.000000"},
        {{"scan", "--timeout", "86400"}, 0, "", "timeout", "86400.000000"},
        {{"scan", "-t", "0.25"}, 0, "", "timeout", "0.250000"},
        {{"scan", "--timeout=1.5"}, 0, "", "timeout", "1.500000"},
        {{"scan", "--timeout", "86400.5"}, USAGE, refused("bad --timeout '86400.5' (seconds, 0 to 86400)")},
        {{"scan", "--timeout", "-0.1"}, USAGE, refused("bad --timeout '-0.1' (seconds, 0 to 86400)")},
        {{"scan", "--timeout", ""}, USAGE, refused("bad --timeout '' (seconds, 0 to 86400)")},
        {{"scan", "--timeout", "2s"}, USAGE, refused("bad --timeout '2s' (seconds, 0 to 86400)")},
        {{"scan", "--timeout", "nan"}, USAGE, refused("bad --timeout 'nan' (seconds, 0 to 86400)")},
        {{"scan", "--timeout", "1e999"}, USAGE, refused("bad --timeout '1e999' (seconds, 0 to 86400)")},
        {{"scan", "--max-time", "0"}, USAGE, refused("bad --max-time '0' (seconds, above 0 up to 86400)")},
        {{"scan", "--max-time", "0.0"}, USAGE, refused("bad --max-time '0.0' (seconds, above 0 up to 86400)")},
        {{"scan", "--max-time", "0.001"}, 0, "", "max-time", "0.001000"},
        {{"scan", "--max-time", "86400"}, 0, "", "max-time", "86400.000000"},
        {{"scan", "--max-time", "86401"}, USAGE, refused("bad --max-time '86401' (seconds, above 0 up to 86400)")},
        {{"set", "--verify-time", "0"}, 0, "", "verify-time", "0.000000"},
        {{"apply", "p", "--verify-time", "86400"}, 0, "", "verify-time", "86400.000000"},
        {{"set", "--verify-time", "-1"}, USAGE, refused("bad --verify-time '-1' (seconds, 0 to 86400)")},
        {{"set", "--verify-time", "inf"}, USAGE, refused("bad --verify-time 'inf' (seconds, 0 to 86400)")},
        // Defaults.
        {{"scan"}, 0, "", "timeout", "2.000000"},
        {{"scan"}, 0, "", "max-time", "60.000000"},
        {{"set"}, 0, "", "verify-time", "10.000000"},
        {{"scan"}, 0, "", "format", "0"},
        // Formats.
        {{"scan", "--format", "csv"}, 0, "", "format", "1"},
        {{"scan", "-f", "json"}, 0, "", "format", "2"},
        {{"scan", "--format=table"}, 0, "", "format", "0"},
        {{"scan", "--format", "xml"}, USAGE, refused("bad --format 'xml' (table, csv or json)")},
        {{"scan", "--format", ""}, USAGE, refused("bad --format '' (table, csv or json)")},
        // What set and apply take, as typed.
        {{"set", "--mac", "00:1a:2b:3c:4d:01"}, 0, "", "mac", "00:1a:2b:3c:4d:01"},
        {{"set", "--ip", "10.0.0.5"}, 0, "", "ip", "10.0.0.5"},
        {{"set", "--gateway", "0.0.0.0"}, 0, "", "gateway", "0.0.0.0"},
        {{"set", "--mask", "255.0.0.0"}, 0, "", "mask", "255.0.0.0"},
        {{"set", "--no-verify"}, 0, "", "no-verify", "yes"},
        {{"set", "--undo", "before.csv"}, 0, "", "undo", "before.csv"},
        {{"apply", "p", "--dry-run"}, 0, "", "dry-run", "yes"},
        {{"apply", "p"}, 0, "", "dry-run", "no"},
        {{"scan", "--interface", "all"}, 0, "", "where", "all"},
        {{"scan", "-i", "eth0"}, 0, "", "where", "eth0"},
        // Options of another command, unknown ones, and missing values.
        {{"scan", "--mac", "00:1a:2b:3c:4d:01"}, USAGE, refused("--mac belongs to set and journal, not scan")},
        {{"scan", "--verify-time", "1"}, USAGE, refused("--verify-time belongs to set, apply and replace, not scan")},
        {{"scan", "--undo=x.csv"}, USAGE, refused("--undo=x.csv belongs to set, apply and replace, not scan")},
        {{"set", "--dry-run"}, USAGE, refused("--dry-run belongs to apply, not set")},
        {{"apply", "p", "--no-verify"}, USAGE, refused("--no-verify belongs to set, not apply")},
        {{"apply", "p", "--ip", "10.0.0.5"}, USAGE, refused("--ip belongs to set, not apply")},
        {{"set", "--old", "00:1a:2b:3c:4d:01"}, USAGE, refused("--old belongs to replace, not set")},
        {{"scan", "--fast"}, USAGE, refused("scan: unknown option '--fast'")},
        {{"set", "-x"}, USAGE, refused("set: unknown option '-x'")},
        {{"scan", "--timeout"}, USAGE, refused("--timeout needs a value")},
        {{"set", "--ip", "1.2.3.4", "--mac"}, USAGE, refused("--mac needs a value")},
        {{"apply", "p", "-t"}, USAGE, refused("-t needs a value")},
        // Operands: apply takes its plan anywhere among the options, the others none.
        {{"apply", "--dry-run", "plan.csv"}, 0, "", "plan", "plan.csv"},
        {{"apply", "plan.csv", "-t", "1"}, 0, "", "plan", "plan.csv"},
        {{"apply"}, USAGE, refused("apply needs one PLAN file")},
        {{"apply", "a.csv", "b.csv"}, USAGE, refused("apply needs one PLAN file")},
        {{"scan", "extra"}, USAGE, refused("unexpected argument 'extra'")},
        {{"set", "--mac", "m", "x", "y"}, USAGE, refused("unexpected argument 'x'")},
        // The watch: --every from 0.25 to 3600 s, --gone-after 1 to 1000 asks, no --max-time unless
        // given, table or JSON; the options of the scans are not its own.
        {{"watch"}, 0, "", "every", "2.000000"},
        {{"watch"}, 0, "", "gone-after", "3"},
        {{"watch"}, 0, "", "watch max-time", "0.000000"},
        {{"watch", "--every", "0.25"}, 0, "", "every", "0.250000"},
        {{"watch", "--every=3600"}, 0, "", "every", "3600.000000"},
        {{"watch", "--every", "0.2"}, USAGE, refused("bad --every '0.2' (seconds, 0.25 to 3600)")},
        {{"watch", "--every", "3600.5"}, USAGE, refused("bad --every '3600.5' (seconds, 0.25 to 3600)")},
        {{"watch", "--every", "1s"}, USAGE, refused("bad --every '1s' (seconds, 0.25 to 3600)")},
        {{"watch", "--gone-after", "1"}, 0, "", "gone-after", "1"},
        {{"watch", "--gone-after", "1000"}, 0, "", "gone-after", "1000"},
        {{"watch", "--gone-after", "0"}, USAGE, refused("bad --gone-after '0' (asks, 1 to 1000)")},
        {{"watch", "--gone-after", "1001"}, USAGE, refused("bad --gone-after '1001' (asks, 1 to 1000)")},
        {{"watch", "--gone-after", "2.5"}, USAGE, refused("bad --gone-after '2.5' (asks, 1 to 1000)")},
        {{"watch", "--max-time", "30"}, 0, "", "watch max-time", "30.000000"},
        {{"watch", "--max-time", "30"}, 0, "", "max-time", "60.000000"},
        {{"watch", "--max-time", "0"}, USAGE, refused("bad --max-time '0' (seconds, above 0 up to 86400)")},
        {{"watch", "--format", "json"}, 0, "", "format", "2"},
        {{"watch", "-f", "table"}, 0, "", "format", "0"},
        {{"watch", "--format", "csv"}, USAGE, refused("bad --format 'csv' (table or json)")},
        {{"watch", "-f", "csv"}, USAGE, refused("bad --format 'csv' (table or json)")},
        {{"watch", "--timeout", "1"}, USAGE, refused("--timeout belongs to scan, set, apply and replace, not watch")},
        {{"watch", "--bom"}, USAGE, refused("--bom belongs to scan, set, apply and replace, not watch")},
        {{"scan", "--every", "1"}, USAGE, refused("--every belongs to watch, not scan")},
        {{"watch", "extra"}, USAGE, refused("unexpected argument 'extra'")},
        // --help wins over what follows it, not over a refusal before it.
        {{"scan", "--help", "--fast"}, HELP, ""},
        {{"apply", "-h"}, HELP, ""},
        {{"scan", "--fast", "--help"}, USAGE, refused("scan: unknown option '--fast'")},
        // The journal: its place on set and apply, the listing's filters, the check, the report.
        {{"set", "--journal", "j.jsonl"}, 0, "", "journal", "j.jsonl"},
        {{"apply", "p", "--no-journal"}, 0, "", "no-journal", "yes"},
        {{"apply", "p"}, 0, "", "no-journal", "no"},
        {{"set", "--journal", "j", "--no-journal"}, USAGE, refused("--journal and --no-journal exclude each other")},
        {{"set", "--journal", ""}, USAGE, refused("--journal needs a file name")},
        {{"scan", "--journal", "j"},
         USAGE,
         refused("--journal belongs to set, apply, replace, journal and report, not scan")},
        {{"journal", "--no-journal"}, USAGE, refused("--no-journal belongs to set, apply and replace, not journal")},
        {{"journal", "--since", "2026-12-09", "--until", "2026-12-10"}, 0, "", "until", "2026-12-10"},
        {{"journal", "--mac", "00:1a:2b:3c:4d:01", "-f", "csv"}, 0, "", "format", "1"},
        {{"journal", "--verify"}, 0, "", "verify", "yes"},
        {{"journal", "--verify", "--journal", "j"}, 0, "", "journal", "j"},
        {{"journal", "--verify", "--since", "2026-12-09"},
         USAGE,
         refused("--verify checks the whole journal: it takes no --since, --until, --mac or --format")},
        {{"journal", "--verify", "--format", "json"},
         USAGE,
         refused("--verify checks the whole journal: it takes no --since, --until, --mac or --format")},
        {{"journal", "-i", "lo"}, USAGE, refused("journal: unknown option '-i'")},
        {{"journal", "extra"}, USAGE, refused("unexpected argument 'extra'")},
        {{"report", "--title", "Line 4 <north>"}, 0, "", "title", "Line 4 <north>"},
        {{"report", "--until", "2026-12-09T18:00Z"}, 0, "", "until", "2026-12-09T18:00Z"},
        {{"report", "--mac", "m"}, USAGE, refused("--mac belongs to set and journal, not report")},
        {{"report", "--format", "csv"},
         USAGE,
         refused("--format belongs to scan, set, apply, replace, watch and journal, not report")},
        {{"report", "--verify"}, USAGE, refused("--verify belongs to journal, not report")},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) {
            line += " " + a;
        }
        const Command* command = nullptr;
        for (const Command& known : COMMANDS) {
            command = c.args[0] == known.name ? &known : command;
        }
        ASSERT_NE(command, nullptr) << line;
        Argv argv(c.args);
        Settings s;
        forgetEarlierOptions(*command);
        testing::internal::CaptureStderr();
        int status = readOptions(argv.argc(), argv.argv(), *command, COMMANDS, COMMAND_COUNT, &s);
        std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status) << line;
        EXPECT_EQ(error, c.error) << line;
        if (c.setting != nullptr) {
            EXPECT_EQ(settingText(s, c.setting), c.value) << line;
        }
    }
}
