#include "commission/job.h"

#include "commission/socket_wire.h"
#include "commission/undo.h"

int jobStatus(const JobSpec& spec, const JobResult& result)
{
    switch (result.end) {
    case JOB_NO_INTERFACE:
        return result.choice == CHOICE_FAILED ? EXIT_NETWORK : EXIT_USAGE;
    case JOB_FAILED:
    case JOB_UNDO_FAILED:
        return EXIT_NETWORK;
    case JOB_STOPPED:
        return 128 + result.signal;
    case JOB_FINISHED:
        break;
    }
    if (spec.kind == JOB_APPLY) {
        return applyStatus(result.apply);
    }
    return result.found.empty() ? EXIT_NOT_FOUND : EXIT_OK;
}

// The interfaces chosen and their sockets open, or the end that stops the job.
static JobEnd openInterfaces(const JobSpec& spec, Sockets& sockets, const EventSink& sink, JobResult* result)
{
    result->choice = chooseInterfaces(spec.where, &result->locals, &result->candidates, &result->listed);
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

static JobEnd scan(const JobSpec& spec, Scanner& scanner, const JobSink& sink, JobResult* result)
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
    result->failure = scanOnce(scanner, spec.options.scan, events);
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

static JobEnd apply(const JobSpec& spec, Scanner& scanner, const JobSink& sink, JobResult* result)
{
    ApplyOptions options = spec.options;
    options.ownAddresses = result->listed;
    options.beforeSending = nullptr;
    if (!spec.undoPath.empty()) {
        options.beforeSending = [&spec, &sink, result](const std::vector<Outcome>& outcomes,
                                                       const std::vector<size_t>& toSend) {
            if (!writeUndoFile(spec.undoPath, outcomes, toSend, &result->undoError)) {
                return false;
            }
            result->undoText = undoPlan(outcomes, toSend);
            Event e = eventOf(EVENT_UNDO_WRITTEN);
            e.text = spec.undoPath;
            sink.event(e);
            return true;
        };
    }
    result->apply = applyPlan(scanner, spec.rows, options, sink.event);
    result->found = scanner.found;
    if (result->apply.held) {
        return JOB_UNDO_FAILED;
    }
    result->failure = result->apply.failure;
    if (result->apply.stopped) {
        return JOB_STOPPED;
    }
    return result->failure.call != FAILED_NONE ? JOB_FAILED : JOB_FINISHED;
}

// The scan or the apply on the scanner, into result; its end.
static JobEnd runOn(const JobSpec& spec, Scanner& scanner, const JobSink& sink, JobResult* result)
{
    if (spec.stopSignal) {
        scanner.wire.stop = [&spec]() { return spec.stopSignal() != 0; };
    }
    JobEnd end = spec.kind == JOB_APPLY ? apply(spec, scanner, sink, result) : scan(spec, scanner, sink, result);
    if (end == JOB_STOPPED) {
        result->signal = spec.stopSignal();
    }
    return end;
}

JobResult runJobOn(const JobSpec& spec, Scanner& scanner, const std::vector<LocalInterface>& listed,
                   const JobSink& sink)
{
    JobResult result;
    result.locals = scanner.locals;
    result.listed = listed;
    result.end = runOn(spec, scanner, sink, &result);
    result.status = jobStatus(spec, result);
    return result;
}

JobResult runJob(const JobSpec& spec, const JobSink& sink)
{
    JobResult result;
    if (spec.kind == JOB_APPLY && !spec.undoPath.empty() && !canWriteUndoFile(spec.undoPath, &result.undoError)) {
        result.end = JOB_UNDO_FAILED;   // found before the scan, a dry run too
        result.status = jobStatus(spec, result);
        return result;
    }
    Sockets sockets;
    result.end = openInterfaces(spec, sockets, sink.event, &result);
    if (result.end == JOB_FINISHED) {
        Scanner scanner;
        startScanner(scanner, socketWire(sockets), result.locals);
        result.end = runOn(spec, scanner, sink, &result);
    }
    closeSockets(sockets);
    result.status = jobStatus(spec, result);
    return result;
}
