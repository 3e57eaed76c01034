// The one way every front end runs the engine: it chooses and opens the interfaces, scans, and for
// an apply checks the undo file's place before the scan, writes it before the first setting,
// sends, verifies, and decides the exit status. What happens on the way goes out as events; what
// it came to comes back as one value, for the front end to show.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commission/apply.h"
#include "commission/conflicts.h"
#include "commission/interfaces.h"
#include "commission/journal.h"

enum JobKind { JOB_SCAN, JOB_APPLY };

// JobOrder::journal: nothing recorded, or the journal in the user's state folder.
const char* const JOURNAL_NONE = "none";
const char* const JOURNAL_DEFAULT = "";

struct JobOrder {
    JobKind kind = JOB_SCAN;
    std::string where;                 // the interfaces (commission/interfaces.h): address, name, "all" or ""
    ApplyOptions options;              // the scan's times; for an apply the rest too (not beforeSending)
    std::vector<PlanRow> rows;         // JOB_APPLY: the plan
    std::string undoPath;              // JOB_APPLY: where the values before go; empty: nowhere
    std::function<int()> stopSignal;   // optional: the signal that asks the run to stop, 0 while none
    // JOB_APPLY: the journal (commission/journal.h), a file, JOURNAL_DEFAULT or JOURNAL_NONE; a dry
    // run records nothing. Its run's kind, program, version and plan file; the rest the job fills.
    std::string journal = JOURNAL_NONE;
    JournalRun journalRun;
    std::string planBytes;   // the plan's bytes, for its SHA-256 in the journal
};

struct JobSink {
    EventSink event;   // every event; progress ones only with options.scan.progressEvery
    // Optional, JOB_SCAN: the scanner at each progress event and once more when the scan ended.
    std::function<void(const Scanner&)> heard;
};

enum JobEnd {
    JOB_FINISHED,         // the scan or the apply ran its course (an apply refused included)
    JOB_NO_INTERFACE,     // the interfaces could not be chosen: choice, candidates
    JOB_FAILED,           // a network or system failure: failure (an apply may have sent before it)
    JOB_UNDO_FAILED,      // the undo file can't be written: undoError; nothing sent
    JOB_JOURNAL_FAILED,   // the journal can't be written (or has no place): journalError; nothing sent
    JOB_STOPPED,          // a signal: signal; an apply's summary tells whether anything was sent
};

struct JobResult {
    JobEnd end = JOB_FINISHED;
    int status = EXIT_OK;   // the exit status, the same for every front end
    Choice choice = CHOSEN;
    std::vector<LocalInterface> candidates;   // JOB_NO_INTERFACE: what one could name
    std::vector<LocalInterface> locals;       // the interfaces worked from
    std::vector<LocalInterface> listed;       // every address of this computer
    Failure failure = noFailure();
    int undoError = 0;
    int signal = 0;
    std::vector<Sighting> found;     // the controllers heard, the verification's answers included
    std::vector<ScanFlag> flags;     // JOB_SCAN: one a controller found
    ApplyResult apply;               // JOB_APPLY
    std::string undoText;            // the undo file's plan, once written
    std::string journalPath;         // the journal written to; empty: none (or no place for it)
    int journalError = 0;            // JOB_JOURNAL_FAILED, or the end entry that could not be written
    bool journalEndFailed = false;   // sent and recorded at the start, but the end entry failed
};

JobResult runJob(const JobOrder& order, const JobSink& sink);

// The same on a scanner already started over its wire (the tests' network in memory): no undo
// file's place to check, no interfaces to choose; listed is every address of this computer.
JobResult runJobOn(const JobOrder& order, Scanner& scanner, const std::vector<LocalInterface>& listed,
                   const JobSink& sink);

// The exit status of a job that ended so (result.status is this).
int jobStatus(const JobOrder& order, const JobResult& result);
