// The journal: what every set, apply and replace, and every apply and undo of the page, changed,
// who did it, when, and whether it was verified. A file of JSON Lines in the user's state folder,
// appended under a lock and synced before anything is sent; each line names the SHA-256 of the
// one before, so a line changed or removed afterwards shows.
//
// The line format, one JSON object a line, ASCII only (every other character escaped), ending in
// "\n" alone:
// - "prev" comes first, always as {"prev":"<64 lowercase hex digits>", : the SHA-256 of the
//   previous line's bytes, from its first byte up to, not including, its "\n"; 64 zeros on the
//   first line.
// - "time" (UTC to the ms, "2026-12-09T14:30:00.123Z"), "entry" ("start" or "end"), "run" (the
//   same on a run's start and end), "kind" ("set", "apply", "replace", "page apply", "page
//   undo"), "user", "computer", "program", "version", "interfaces" ([{"name", "address"}]),
//   "plan" ({"file", "sha256"} or null), "undo" (the undo file, or null), "rows".
// - The start's rows, written before the first setting goes out: every planned controller with
//   "line" (null for set), "mac", "node_name", "before" ({"ip", "gateway", "mask"} as reported at
//   the scan, or null when it did not answer), "target" (the same keys, null where the target is
//   not known) and "send" (whether a setting goes to it).
// - The end's rows, once the run is over: "line", "mac", "node_name", "state" (as the summary
//   says it), "before", "after" (its latest report) and "senders" ([{"address", "ip",
//   "node_name"}] in a conflict, else []).
// A run stopped before its end leaves a start without an end.
#pragma once

#include <string>
#include <vector>

#include "commission/apply.h"

// What a run is, for both of its entries.
struct JournalRun {
    std::string kind;   // "set", "apply", "replace", "page apply", "page undo"
    std::string program, version;
    std::vector<LocalInterface> interfaces;   // the local addresses it works from
    std::string planFile;                     // as named ("(standard input)" for "-"); empty: none
    std::string planSha256;                   // of the plan's bytes (sha256Hex); empty: none
    std::string undoFile;                     // where the values before went; empty: none
    std::string runId;                        // pairs start and end: newJournalRunId()
};

// Who and when, as an entry records it: from the system (journalWhoNow), or given by a test.
struct JournalWho {
    long long timeMs;   // since 1970 UTC
    std::string user;
    std::string computer;
};
JournalWho journalWhoNow();

// The journal's place when no --journal is given: journal.jsonl in the user's state folder
// (platform/user_files.h), made when missing; empty, with the error number, when none can be had.
std::string defaultJournalPath(int* error);
// The folder of the page's undo files: undo in the same state folder, made when missing; empty,
// with the error number, when none can be had.
std::string defaultUndoFolder(int* error);

// A new run's id: 32 hex digits from the system's generator (the time's if it gives none).
std::string newJournalRunId();
// The SHA-256 of bytes as 64 lowercase hex digits; empty when the system's library failed.
std::string sha256Hex(const std::string& bytes);
// 64 zeros: the first line's prev.
extern const char FIRST_PREV[];

// Whether path can be appended to, for a check before the scan as for the undo file (a missing
// journal is created, empty). False, with the error number, when it can't.
bool canWriteJournal(const std::string& path, int* error);
// The start entry: outcomes as the run has them before the first setting, toSend the rows about
// to be sent. Appended under the lock and synced; false, with the error number, when it can't be:
// then nothing may be sent.
bool journalStart(const std::string& path, const JournalRun& run, const std::vector<Outcome>& outcomes,
                  const std::vector<size_t>& toSend, int* error);
// The end entry, with each row's state as the summary tells it.
bool journalEnd(const std::string& path, const JournalRun& run, const std::vector<Outcome>& outcomes, int* error);

// The entries' lines themselves (without the line end), for the two above and the tests.
std::string journalStartLine(const std::string& prev, const JournalRun& run, const JournalWho& who,
                             const std::vector<Outcome>& outcomes, const std::vector<size_t>& toSend);
std::string journalEndLine(const std::string& prev, const JournalRun& run, const JournalWho& who,
                           const std::vector<Outcome>& outcomes);
