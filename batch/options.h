// The batch program's command line: the settings, each command's options, and the usage errors.
#pragma once

#include <getopt.h>

#include <string>

#include "commission/apply.h"
#include "commission/watch.h"
#include "report/formats.h"

struct Settings {
    std::string where;   // --interface
    ApplyOptions apply;
    WatchOptions watch;
    TextFormat format = FORMAT_TABLE;
    bool bom = false;                     // --bom: CSV starts with the UTF-8 byte-order mark
    std::string mac, ip, gateway, mask;   // set's target, as typed
    std::string plan;                     // apply's PLAN; "-" for standard input
    std::string undo;                     // --undo: where the values before go
    std::string journal;                  // --journal FILE; empty: the user's state folder
    bool noJournal = false;               // --no-journal (set, apply): nothing recorded
    std::string since, until;             // --since, --until (journal, report), as typed
    std::string title;                    // --title (report)
    bool verify = false;                  // --verify (journal): the chain's check, not the listing
    std::string oldMac, newMac;           // replace's --old and --new, as typed
    std::string from;                     // replace's --from: where the old one's values are
};

// One command of the table: its name, what runs it, and what it takes.
struct Command {
    const char* name;
    int (*run)(const Settings& s);
    const char* usage;          // after the command's name
    const option* options;      // ends with a zero entry
    const char* shortOptions;   // for getopt_long
    int operands;               // how many operands it takes (0 or 1)
};

extern const option SCAN_OPTIONS[];
extern const option SET_OPTIONS[];
extern const option APPLY_OPTIONS[];
extern const option JOURNAL_OPTIONS[];
extern const option REPORT_OPTIONS[];
extern const option REPLACE_OPTIONS[];
extern const option WATCH_OPTIONS[];
extern const option DOCTOR_OPTIONS[];
// getopt_long's short options of the commands: operands in order ('-'), a missing value told
// apart (':'), then the letters each takes.
#define SCAN_SHORT_OPTIONS "-:i:t:f:h"
#define PLAN_SHORT_OPTIONS "-:i:t:f:h"
#define JOURNAL_SHORT_OPTIONS "-:f:h"
#define WATCH_SHORT_OPTIONS "-:i:f:h"
#define DOCTOR_SHORT_OPTIONS "-:i:t:h"

// "brevindor-batch: " and the message on standard error, then the hint; returns EXIT_USAGE.
__attribute__((format(printf, 1, 2))) int usageError(const char* format, ...);

// The options of command c (argv from index 2) into s; commands is the whole table, to name the
// owners of an option given to the wrong command. EXIT_OK, -1 after --help, or the exit status
// of a usage error (printed).
int readOptions(int argc, char** argv, const Command& c, const Command* commands, int commandCount, Settings* s);
