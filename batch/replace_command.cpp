#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "batch/commands.h"
#include "batch/output.h"
#include "commission/journal.h"
#include "commission/journal_read.h"
#include "commission/replace.h"
#include "commission/rows.h"
#include "report/input_text.h"

namespace {

// A MAC option read by the row checker; false after its faults were told.
bool readMacOption(const char* option, const std::string& text, unsigned char* mac)
{
    RowChecker checker;
    PlanRow row;
    std::vector<RowFault> faults;
    if (checkRow(checker, 0, {text, "", "", ""}, &row, &faults)) {
        memcpy(mac, row.mac, MAC_LEN);
        return true;
    }
    for (const RowFault& f : faults) {
        say(std::string(option) + ": " + rowFaultText(f, FRAME_OPTIONS));
    }
    return false;
}

}   // namespace

int runReplace(const Settings& s)
{
    if (s.oldMac.empty() || s.newMac.empty()) {
        return usageError("replace needs --old MAC and --new MAC");
    }
    unsigned char oldMac[MAC_LEN];
    unsigned char newMac[MAC_LEN];
    if (!readMacOption("--old", s.oldMac, oldMac) || !readMacOption("--new", s.newMac, newMac)) {
        return EXIT_USAGE;
    }
    if (memcmp(oldMac, newMac, MAC_LEN) == 0) {
        return usageError("--old and --new name the same controller");
    }
    Macs gone(1);
    memcpy(gone[0].data(), oldMac, MAC_LEN);
    if (s.from.empty()) {
        // The old one's values as the journal last knew them.
        PlanRow row;
        int error = 0;
        std::string path = s.journal.empty() ? defaultJournalPath(&error) : s.journal;
        if (path.empty() || !journalReplacementRow(readJournal(path, JournalFilter()).entries, oldMac, newMac, &row)) {
            return usageError("replace needs --from FILE: a plan, undo file or scan CSV with the old controller's row "
                              "(the journal knows no values of %s)",
                              s.oldMac.c_str());
        }
        return runPlan(std::vector<PlanRow>(1, row), s, FRAME_OPTIONS, gone, "replace", "", "");
    }
    std::string text;
    int error = 0;
    PlanFileResult read = readPlanFile(s.from, &text, &error);
    if (read != PLAN_FILE_READ) {
        say(planFileText(read, s.from, error));
        return EXIT_USAGE;
    }
    std::vector<PlanRow> rows;
    std::vector<PlanError> errors;
    if (!readPlan(text, &rows, &errors)) {
        for (const PlanError& e : errors) {
            sayAt(s.from, e.line, planErrorText(e));
        }
        say(planErrorsText(errors.size()));
        return EXIT_USAGE;
    }
    PlanRow row;
    ReplacementValues values = replacementRow(rows, oldMac, newMac, &row);
    if (values != VALUES_FOUND) {
        say(replacementText(values, s.from, oldMac));
        return EXIT_USAGE;
    }
    row.line = 0;   // told as set tells its one row
    return runPlan(std::vector<PlanRow>(1, row), s, FRAME_OPTIONS, gone, "replace", s.from, text);
}
