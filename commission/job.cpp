#include "commission/job.h"

#include "commission/socket_wire.h"
#include "commission/undo.h"

int jobStatus(const JobOrder& order, const JobResult& result)
{
    switch (result.end) {
    case JOB_NO_INTERFACE:
        return result.choice == CHOICE_FAILED ? EXIT_NETWORK : EXIT_USAGE;
    case JOB_FAILED:
    case JOB_UNDO_FAILED:
    case JOB_JOURNAL_FAILED:
        return EXIT_NETWORK;
    case JOB_STOPPED:
        return 128 + result.signal;
    case JOB_FINISHED:
        break;
    }
    if (order.kind == JOB_APPLY) {
        return applyStatus(result.apply);
    }
    return result.found.empty() ? EXIT_NOT_FOUND : EXIT_OK;
}

// The interfaces chosen and their sockets open, or the end that stops the job.
static JobEnd openInterfaces(const JobOrder& order, Sockets& sockets, const EventSink& sink, JobResult* result)
{
    result->choice = chooseInterfaces(order.where, &result->locals, &result->candidates, &result->listed);
    if (result->choice != CHOSEN) {
        return JOB_NO_INTERFACE;
    }
    result->failure = openSockets(sockets, result->locals);
    if (result->failure.call != FAILED_NONE) {
        return JOB_FAILED;
    }
    for (size_t i = 0; i < result->locals.size(); ++i) {
        if (sockets.smallBuffer[i] != 0) {
            Event e = eventOf(EVENT_SMALL_BUFFER);
            e.local = result->locals[i];
            sink(e);
        }
    }
    return JOB_FINISHED;
}

static JobEnd scan(const JobOrder& order, Scanner& scanner, const JobSink& sink, JobResult* result)
{
    EventSink events = sink.event;
    if (sink.heard) {
        events = [&sink, &scanner](const Event& e) {
            sink.event(e);
            if (isProgress(e.kind)) {
                sink.heard(scanner);
            }
        };
    }
    result->failure = scanOnce(scanner, order.options.scan, events);
    if (sink.heard) {
        sink.heard(scanner);
    }
    result->found = scanner.found;
    result->flags = scanFlags(scanner);
    if (result->failure.call != FAILED_NONE) {
        return JOB_FAILED;
    }
    return scanner.stopped ? JOB_STOPPED : JOB_FINISHED;
}

// The journal's place, checked as the undo file's is, before the scan; false when it has none or
// can't be written (journalError). A scan, a dry run and JOURNAL_NONE record nothing.
static bool placeJournal(const JobOrder& order, JobResult* result)
{
    if (order.kind != JOB_APPLY || order.options.dryRun || order.journal == JOURNAL_NONE) {
        return true;
    }
    std::string path = order.journal.empty() ? defaultJournalPath(&result->journalError) : order.journal;
    if (path.empty() || !canWriteJournal(path, &result->journalError)) {
        result->journalPath = path;
        return false;
    }
    result->journalPath = path;
    return true;
}

static JobEnd apply(const JobOrder& order, Scanner& scanner, const JobSink& sink, JobResult* result)
{
    ApplyOptions options = order.options;
    options.ownAddresses = result->listed;
    options.beforeSending = nullptr;
    JournalRun run = order.journalRun;
    bool journalHeld = false;
    bool journalStarted = false;
    if (!order.undoPath.empty() || !result->journalPath.empty()) {
        options.beforeSending = [&](const std::vector<Outcome>& outcomes, const std::vector<size_t>& toSend) {
            if (!order.undoPath.empty()) {
                if (!writeUndoFile(order.undoPath, outcomes, toSend, &result->undoError)) {
                    return false;
                }
                result->undoText = undoPlan(outcomes, toSend);
                Event e = eventOf(EVENT_UNDO_WRITTEN);
                e.text = order.undoPath;
                sink.event(e);
            }
            if (!result->journalPath.empty()) {
                run.interfaces = result->locals;
                run.undoFile = order.undoPath;
                run.runId = newJournalRunId();
                if (!run.planFile.empty()) {
                    run.planSha256 = sha256Hex(order.planBytes);
                }
                if (!journalStart(result->journalPath, run, outcomes, toSend, &result->journalError)) {
                    journalHeld = true;
                    return false;
                }
                journalStarted = true;
            }
            return true;
        };
    }
    result->apply = applyPlan(scanner, order.rows, options, sink.event);
    result->found = scanner.found;
    if (journalStarted && !journalEnd(result->journalPath, run, result->apply.outcomes, &result->journalError)) {
        result->journalEndFailed = true;
    }
    if (result->apply.held) {
        return journalHeld ? JOB_JOURNAL_FAILED : JOB_UNDO_FAILED;
    }
    result->failure = result->apply.failure;
    if (result->apply.stopped) {
        return JOB_STOPPED;
    }
    return result->failure.call != FAILED_NONE ? JOB_FAILED : JOB_FINISHED;
}

// The scan or the apply on the scanner, into result; its end.
static JobEnd runOn(const JobOrder& order, Scanner& scanner, const JobSink& sink, JobResult* result)
{
    if (order.stopSignal) {
        scanner.wire.stop = [&order]() { return order.stopSignal() != 0; };
    }
    JobEnd end = order.kind == JOB_APPLY ? apply(order, scanner, sink, result) : scan(order, scanner, sink, result);
    if (end == JOB_STOPPED) {
        result->signal = order.stopSignal();
    }
    return end;
}

JobResult runJobOn(const JobOrder& order, Scanner& scanner, const std::vector<LocalInterface>& listed,
                   const JobSink& sink)
{
    JobResult result;
    result.locals = scanner.locals;
    result.listed = listed;
    result.end = placeJournal(order, &result) ? runOn(order, scanner, sink, &result) : JOB_JOURNAL_FAILED;
    result.status = jobStatus(order, result);
    return result;
}

JobResult runJob(const JobOrder& order, const JobSink& sink)
{
    JobResult result;
    if (order.kind == JOB_APPLY && !order.undoPath.empty() && !canWriteUndoFile(order.undoPath, &result.undoError)) {
        result.end = JOB_UNDO_FAILED;   // found before the scan, a dry run too
        result.status = jobStatus(order, result);
        return result;
    }
    if (!placeJournal(order, &result)) {
        result.end = JOB_JOURNAL_FAILED;   // before the scan too, as the undo file
        result.status = jobStatus(order, result);
        return result;
    }
    Sockets sockets;
    result.end = openInterfaces(order, sockets, sink.event, &result);
    if (result.end == JOB_FINISHED) {
        Scanner scanner;
        startScanner(scanner, socketWire(sockets), result.locals);
        result.end = runOn(order, scanner, sink, &result);
    }
    closeSockets(sockets);
    result.status = jobStatus(order, result);
    return result;
}
