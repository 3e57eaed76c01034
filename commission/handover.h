// The handover record of a time range of the journal: who worked, on which computers, with which
// programs, the chain's state, and each controller once, from its values before the first run
// to those after the last.
#pragma once

#include <string>
#include <vector>

#include "commission/journal_read.h"

struct HandoverRow {
    std::string mac;
    std::string nodeName;      // the latest the journal holds
    JournalAddresses before;   // at the first run's scan
    JournalAddresses after;    // at the last run's end
    bool ended = true;         // false: the last run left a start without an end (interrupted)
    std::string state;         // the last run's state of it, when ended
    std::string time;          // of the last entry with it
    size_t runs = 0;           // runs in the range that planned it
};

struct Handover {
    std::string title;
    std::string since, until;                                  // the range asked for, as given ("" for open ends)
    std::string first, last;                                   // the times of the first and last entry in it
    std::vector<std::string> computers, operators, programs;   // each once, in order of appearance
    size_t entries = 0;
    ChainCheck chain;                // over the whole journal
    std::vector<HandoverRow> rows;   // in order of first appearance
};

// Where, when and by what a report is made.
struct HandoverMaker {
    std::string journalPath;
    std::string program, version;
    std::string computer;
    std::string time;   // UTC, as the journal writes it
};
HandoverMaker handoverMakerNow(const std::string& journalPath, const std::string& program, const std::string& version);

// The title of a report not given one.
extern const char HANDOVER_TITLE[];

// The handover of the entries read (the range's), with the chain of the whole file.
Handover handoverOf(const JournalRead& read, const std::string& title, const std::string& since,
                    const std::string& until);

// EXIT_OK when the range has entries and the chain is intact; EXIT_NOT_FOUND when it has none, the
// journal is missing or its chain is broken (the report is still written then); EXIT_NETWORK when
// it can't be read.
int handoverStatus(const JournalRead& read);
// Whether the report is to be written at all.
bool handoverWritten(const JournalRead& read);
