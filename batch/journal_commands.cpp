#include "batch/journal_commands.h"

#include <cstdio>

#include "batch/output.h"
#include "commission/handover.h"
#include "commission/journal.h"
#include "commission/journal_read.h"
#include "protocol/address.h"
#include "report/handover_html.h"
#include "report/journal_text.h"

#ifndef BREVINDOR_VERSION
#error BREVINDOR_VERSION must give the version of the project
#endif

// The journal's place: --journal, else the user's state folder; EXIT_OK or the status (told).
static int journalPath(const Settings& s, std::string* path)
{
    if (!s.journal.empty()) {
        *path = s.journal;
        return EXIT_OK;
    }
    int error = 0;
    *path = defaultJournalPath(&error);
    if (path->empty()) {
        fprintf(stderr, "%s: %s\n", BATCH_PROGRAM, journalPlaceFailureText(error).c_str());
        return EXIT_NETWORK;
    }
    return EXIT_OK;
}

static const char TIME_FORMS[] = "a date 2026-12-09, a local time 2026-12-09T15:30, or UTC 2026-12-09T14:30:00Z";

// --since, --until and --mac as a filter; EXIT_OK or the status of a usage error (told).
static int filterOf(const Settings& s, JournalFilter* filter)
{
    filter->hasSince = !s.since.empty();
    if (filter->hasSince && !parseJournalTime(s.since, false, &filter->since)) {
        return usageError("bad --since '%s' (%s)", s.since.c_str(), TIME_FORMS);
    }
    filter->hasUntil = !s.until.empty();
    if (filter->hasUntil && !parseJournalTime(s.until, true, &filter->until)) {
        return usageError("bad --until '%s' (%s)", s.until.c_str(), TIME_FORMS);
    }
    filter->hasMac = !s.mac.empty();
    if (filter->hasMac && !parseMac(s.mac.c_str(), filter->mac)) {
        return usageError("bad --mac '%s': six hex pairs joined by ':', '.' or '-', or twelve hex digits",
                          s.mac.c_str());
    }
    return EXIT_OK;
}

static void tell(const std::string& text)
{
    fprintf(stderr, "%s: %s\n", BATCH_PROGRAM, text.c_str());
}

// The journal's file and the filter the options name; EXIT_OK, or the status of a usage error.
static int journalAsked(const Settings& s, std::string* path, JournalFilter* filter)
{
    int status = journalPath(s, path);
    return status == EXIT_OK ? filterOf(s, filter) : status;
}

int runJournal(const Settings& s)
{
    std::string path;
    JournalFilter filter;
    int status = journalAsked(s, &path, &filter);
    if (status != EXIT_OK) {
        return status;
    }
    JournalRead read = readJournal(path, filter, !s.verify);
    if (read.status != JOURNAL_FILE_READ) {
        tell(journalReadFailureText(path, read));
        return s.verify ? journalVerifyStatus(read) : journalListStatus(read);
    }
    if (s.verify) {
        fputs(chainText(read.chain).c_str(), stdout);
        return journalVerifyStatus(read);
    }
    std::string (*const form[])(const std::vector<JournalEntry>&) = {journalTable, journalCsv, journalJson};
    fputs(form[s.format](read.entries).c_str(), stdout);
    if (read.chain.result != CHAIN_INTACT) {
        tell("warning: " + chainSummary(read.chain));
    }
    if (read.entries.empty()) {
        tell(journalNothingText(path));
    }
    return journalListStatus(read);
}

int runReport(const Settings& s)
{
    std::string path;
    JournalFilter filter;
    int status = journalAsked(s, &path, &filter);
    if (status != EXIT_OK) {
        return status;
    }
    JournalRead read = readJournal(path, filter);
    if (read.status != JOURNAL_FILE_READ) {
        tell(journalReadFailureText(path, read));
    } else if (!handoverWritten(read)) {
        tell(journalNothingText(path) + "; no report written");
    } else {
        Handover h = handoverOf(read, s.title, s.since, s.until);
        fputs(handoverHtml(h, handoverMakerNow(path, BATCH_PROGRAM, BREVINDOR_VERSION)).c_str(), stdout);
    }
    if (read.status == JOURNAL_FILE_READ && read.chain.result != CHAIN_INTACT) {
        tell("warning: " + chainSummary(read.chain));
    }
    return handoverStatus(read);
}
