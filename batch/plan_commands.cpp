#include <string>
#include <vector>

#include "batch/commands.h"
#include "batch/output.h"
#include "commission/job.h"
#include "commission/rows.h"
#include "report/input_text.h"
#include "report/messages.h"
#include "report/refusal_text.h"
#include "report/summary_forms.h"

namespace {

// How the plan is named in messages.
std::string planName(const Settings& s)
{
    return s.plan == "-" ? "(standard input)" : s.plan;
}

}   // namespace

int runPlan(const std::vector<PlanRow>& rows, const Settings& s, Frame frame, const Macs& mustBeGone, const char* kind,
            const std::string& planFile, const std::string& planBytes)
{
    catchStopSignals();
    JobOrder order;
    order.kind = JOB_APPLY;
    order.where = s.where;
    order.options = s.apply;
    order.options.scan.progressEvery = statusShown() ? STATUS_EVERY_S : 0;
    order.options.mustBeGone = mustBeGone;
    order.rows = rows;
    order.undoPath = s.undo;
    order.stopSignal = stopSignal;
    order.journal = s.noJournal ? JOURNAL_NONE : s.journal;
    order.journalRun.kind = kind;
    order.journalRun.program = BATCH_PROGRAM;
    order.journalRun.version = BREVINDOR_VERSION;
    order.journalRun.planFile = planFile;
    order.planBytes = planBytes;
    JobResult result = runJob(order, {showEvent, nullptr});
    clearStatus();
    for (const Refusal& r : result.apply.refusals) {
        if (frame == FRAME_PLAN) {
            sayAt(planName(s), r.line, refusalText(r, frame));
        } else {
            say(refusalText(r, frame));
        }
    }
    say(jobEndMessages(order, result, frame));
    if (result.apply.summary) {
        const std::vector<Outcome>& outcomes = result.apply.outcomes;
        say(outcomeWarnings(outcomes));
        writeResult((s.bom ? BYTE_ORDER_MARK : "") + summaryText(s.format, outcomes, frame == FRAME_PLAN));
        say(tallyText(outcomes));
    }
    return result.status;
}

int runSet(const Settings& s)
{
    if (s.mac.empty()) {
        return usageError("set needs --mac MAC");
    }
    if (s.ip.empty() && s.gateway.empty() && s.mask.empty()) {
        return usageError("set needs at least one of --ip, --gateway, --mask");
    }
    static const char* const OPTION_OF[ROW_FIELDS] = {"--mac", "--ip", "--gateway", "--mask"};
    RowChecker checker;
    PlanRow row;
    std::vector<RowFault> faults;
    if (!checkRow(checker, 0, {s.mac, s.ip, s.gateway, s.mask}, &row, &faults)) {
        for (const RowFault& f : faults) {
            say(std::string(OPTION_OF[f.field]) + ": " + rowFaultText(f, FRAME_OPTIONS));
        }
        return EXIT_USAGE;
    }
    return runPlan(std::vector<PlanRow>(1, row), s, FRAME_OPTIONS, Macs(), "set", "", "");
}

int runApply(const Settings& s)
{
    std::string text;
    int error = 0;
    PlanFileResult read;
    if (s.plan == "-") {
        if (isTerminal(stdin)) {
            return usageError("apply - reads the plan from standard input, which is a terminal; "
                              "redirect or pipe the plan into it");
        }
        setBinaryMode(stdin);
        read = readPlanStream(stdin, &text, &error);
    } else {
        read = readPlanFile(s.plan, &text, &error);
    }
    if (read != PLAN_FILE_READ) {
        say(planFileText(read, planName(s), error));
        return EXIT_USAGE;
    }
    std::vector<PlanRow> rows;
    std::vector<PlanError> errors;
    if (!readPlan(text, &rows, &errors)) {
        for (const PlanError& e : errors) {
            sayAt(planName(s), e.line, planErrorText(e));
        }
        say(planErrorsText(errors.size()));
        return EXIT_USAGE;
    }
    return runPlan(rows, s, FRAME_PLAN, Macs(), "apply", planName(s), text);
}
