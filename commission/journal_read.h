// Reading the journal back (commission/journal.h has its format): the chain checked line by line,
// the entries, the filters of the listing and the report, the last known addresses of a MAC, and
// the exit statuses of the journal's commands.
#pragma once

#include <string>
#include <vector>

#include "commission/apply.h"

// How the chain stands after the lines read so far.
enum ChainBreak {
    CHAIN_INTACT,
    CHAIN_FIRST_NOT_ZEROS,   // the first line's prev is not 64 zeros
    CHAIN_WRONG_PREV,        // a line's prev is not the SHA-256 of the line before it
    CHAIN_NOT_AN_ENTRY,      // a line that does not begin {"prev":"<64 hex digits>", or end in '}'
    CHAIN_CUT_SHORT,         // the last line has no line end: its write did not finish
    CHAIN_TOO_LONG,          // a line longer than LOCKED_LINE_MAX (platform/user_files.h)
};

struct ChainCheck {
    ChainBreak result = CHAIN_INTACT;
    size_t lines = 0;         // lines read
    size_t brokenLine = 0;    // the first line where the chain breaks (from 1), when not intact
    std::string lastSha256;   // the SHA-256 of the last line read: what the next prev must be
};

// Takes the next line (without its "\n"; cut when the file ended without one) into the check;
// nothing changes once it is broken. Returns whether the line is intact.
bool checkChainLine(ChainCheck& check, const std::string& line, bool cut);
// The chain of a whole journal's text, for tests.
ChainCheck checkChainText(const std::string& text);

// One controller of an entry, as written (addresses as text; "" for null).
struct JournalAddresses {
    bool known = false;   // the entry holds them (null: it did not answer)
    std::string ip, gateway, mask;
};
struct JournalSender {
    std::string address, ip, nodeName;
};
struct JournalRow {
    int line = 0;   // the plan's line; 0 for none
    std::string mac;
    std::string nodeName;   // as the device sent it (UTF-8, U+FFFD for bytes that were none)
    JournalAddresses before;
    JournalAddresses target;   // start only; a field not known is ""
    bool send = false;         // start only
    std::string state;         // end only
    JournalAddresses after;    // end only
    std::vector<JournalSender> senders;
};
struct JournalEntry {
    size_t lineNumber = 0;   // in the file, from 1
    std::string text;        // the line as it is
    long long timeMs = 0;
    std::string time, entry, run, kind, user, computer, program, version;
    std::vector<LocalInterface> interfaces;   // name and address only
    std::string planFile, planSha256, undoFile;
    std::vector<JournalRow> rows;
};

// The entry a line holds; false when it holds none (not JSON, or a key of the wrong type).
bool parseJournalEntry(const std::string& line, size_t lineNumber, JournalEntry* entry);

// A moment for --since and --until: ISO 8601 in UTC ("2026-12-09T14:30:00Z", seconds and
// milliseconds optional, or an offset such as "+01:00" instead of "Z"), a local date and time
// without a zone ("2026-12-09T15:30", "2026-12-09 15:30:00") or a local date alone
// ("2026-12-09": the whole day, so from its start as a lower end, to its last millisecond as an
// upper one). False when the text is none of these.
bool parseJournalTime(const std::string& text, bool upperEnd, long long* ms);

// Which entries to take: between since and until (both included) and, with a MAC, only entries
// with a row of it, and only those rows.
struct JournalFilter {
    bool hasSince = false;
    long long since = 0;
    bool hasUntil = false;
    long long until = 0;
    bool hasMac = false;
    unsigned char mac[MAC_LEN] = {};
};

enum JournalFileStatus {
    JOURNAL_FILE_READ,
    JOURNAL_FILE_MISSING,   // no journal at that place: nothing recorded yet
    JOURNAL_FILE_FAILED,    // it could not be opened or read (error)
};

struct JournalRead {
    JournalFileStatus status = JOURNAL_FILE_READ;
    int error = 0;
    ChainCheck chain;                    // over the whole file, whatever the filter
    std::vector<JournalEntry> entries;   // those the filter takes, in the file's order
    size_t unreadable = 0;               // lines that hold no entry (the chain names the first)
};

// Reads the journal at path, one line at a time (each at most LOCKED_LINE_MAX bytes), checking
// the chain over all of it and keeping the entries filter takes (a line whose time, where the
// journal writes it, lies outside the range is not read further). With parse false only the
// chain is checked (journal --verify).
JournalRead readJournal(const std::string& path, const JournalFilter& filter, bool parse = true);

// The addresses last known of the controller mac: the latest entry with a row of it that holds
// any, the values after where an end says verified or unchanged, else the values before.
// False when no entry knows them; *entry then is untouched.
bool lastKnownAddresses(const std::vector<JournalEntry>& entries, const unsigned char* mac, Addresses* addresses,
                        const JournalEntry** entry);

// replace without a file: the row that gives newMac the IP, gateway and mask last known of oldMac
// in the journal (line 0, as set's); false when the journal knows none.
bool journalReplacementRow(const std::vector<JournalEntry>& entries, const unsigned char* oldMac,
                           const unsigned char* newMac, PlanRow* row);

// Exit statuses: the listing EXIT_OK when it has entries, EXIT_NOT_FOUND when none (or no
// journal), EXIT_NETWORK when it can't be read; the check EXIT_OK when intact, else 1 as well.
int journalListStatus(const JournalRead& read);
int journalVerifyStatus(const JournalRead& read);
