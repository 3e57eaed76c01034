// The journal's texts: the listing as a table, CSV or JSON (one row a controller of each entry;
// the JSON the entries as they are stored), the chain's state, and the failures to read or write
// it. Text from devices and other people goes through the rules of the scan's forms
// (report/cells.h, report/formats.h).
#pragma once

#include <string>
#include <vector>

#include "commission/journal_read.h"

std::string journalTable(const std::vector<JournalEntry>& entries);
std::string journalCsv(const std::vector<JournalEntry>& entries);
std::string journalJson(const std::vector<JournalEntry>& entries);

// "20000 entries, chain intact" and the last line's SHA-256 on a line of its own, or where it
// breaks: "chain broken at line 7: ..."; each line ending in "\n".
std::string chainText(const ChainCheck& chain);
// The same in one line, without its end, for the handover report.
std::string chainSummary(const ChainCheck& chain);

// Why the journal at path could not be read (missing or failed), without the program's name;
// "" when it was read.
std::string journalReadFailureText(const std::string& path, const JournalRead& read);
// The run's stop when the journal can't be written: "can't write the journal PATH: ...; nothing
// sent".
std::string journalWriteFailureText(const std::string& path, int error);
// No journal place: the state folder could not be had.
// The page's undo folder when the user's state folder can't be had.
std::string undoFolderFailureText(int error);
std::string journalPlaceFailureText(int error);
// A filter that took nothing.
std::string journalNothingText(const std::string& path);
