// The journal's figures, printed: on a journal of 10,000 applies of 10 rows (20,000 entries), the
// cost of one more entry appended under its lock and synced, and the time of journal --verify;
// then the handover report of 1,000 controllers: the time to write it, and to print it to PDF in
// headless chromium. Run through bench/run.sh journal, which makes the private network namespace
// (the programs it runs check for one).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "commission/handover.h"
#include "commission/journal_read.h"
#include "report/handover_html.h"
#include "support/journal_rows.h"
#include "support/process.h"
#include "tools/netns_guard.h"

#ifndef BREVINDOR_BATCH_PATH
#error BREVINDOR_BATCH_PATH must name the batch program
#endif

static const char* batchPath = BREVINDOR_BATCH_PATH;

static const int APPLIES = 10000;
static const int ROWS = 10;
static const int APPENDS = 200;   // appends measured, each synced
static const double APPEND_GOAL_MS = 20;
static const double VERIFY_GOAL_S = 1;
static const int REPORT_CONTROLLERS = 1000;

static double msSince(int64_t startNs)
{
    return (double)(monotonicNs() - startNs) / 1e6;
}

static std::vector<Outcome> rowsFrom(int first, int count, OutcomeState state)
{
    std::vector<Outcome> rows;
    for (int k = first; k < first + count; ++k) {
        rows.push_back(journalOutcome(k, state));
    }
    return rows;
}

// applies applies of rows rows each, as start and end, written in one go (unsynced: the
// measured appends come after).
static bool bulkJournal(const std::string& path, int applies, int rows)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    JournalWho who = journalWhoNow();
    std::string prev = FIRST_PREV;
    for (int a = 0; a < applies; ++a) {
        JournalRun run = journalTestRun();
        std::vector<Outcome> before = rowsFrom((a * rows) % 9000, rows, OUTCOME_INTERRUPTED);
        std::string start = journalStartLine(prev, run, who, before, allRows(before.size()));
        prev = sha256Hex(start);
        std::string end = journalEndLine(prev, run, who, rowsFrom((a * rows) % 9000, rows, OUTCOME_VERIFIED));
        prev = sha256Hex(end);
        fprintf(f, "%s\n%s\n", start.c_str(), end.c_str());
    }
    return fclose(f) == 0;
}

static std::string fileSize(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    long size = 0;
    if (f != nullptr && fseek(f, 0, SEEK_END) == 0) {
        size = ftell(f);
    }
    if (f != nullptr) {
        fclose(f);
    }
    char text[32];
    (void)snprintf(text, sizeof text, "%.1f MB", (double)size / 1e6);
    return text;
}

static bool journalFigures(const std::string& dir)
{
    std::string path = dir + "/journal.jsonl";
    int64_t t = monotonicNs();
    if (!bulkJournal(path, APPLIES, ROWS)) {
        printf("the journal could not be made in %s\n", dir.c_str());
        return false;
    }
    printf("journal of %d applies of %d rows: %d lines, %s, made in %.1f s\n", APPLIES, ROWS, 2 * APPLIES,
           fileSize(path).c_str(), msSince(t) / 1000);

    // One more start entry at a time, as the runner appends it before sending: lock, last line
    // read back, hashed, written, synced.
    std::vector<double> appendMs;
    JournalRun run = journalTestRun();
    std::vector<Outcome> rows = rowsFrom(0, ROWS, OUTCOME_INTERRUPTED);
    for (int i = 0; i < APPENDS; ++i) {
        int error = 0;
        t = monotonicNs();
        if (!journalStart(path, run, rows, allRows(rows.size()), &error)) {
            printf("append failed: %s\n", strerror(error));
            return false;
        }
        appendMs.push_back(msSince(t));
    }
    std::vector<double> sorted = appendMs;
    std::sort(sorted.begin(), sorted.end());
    double appendMedian = median(appendMs);
    double p95 = sorted[sorted.size() * 95 / 100];
    printf("append of one entry of %d rows with its sync (%d appends): median %.2f ms, 95th percentile %.2f ms, "
           "max %.2f ms (goal: under %.0f ms)\n",
           ROWS, APPENDS, appendMedian, p95, sorted.back(), APPEND_GOAL_MS);

    // journal --verify, in the program and in process (the same code without the start-up).
    std::vector<double> verifyS;
    std::vector<double> inProcessS;
    std::string out = dir + "/verify.out";
    std::string err = dir + "/verify.err";
    bool intact = true;
    for (int i = 0; i < 5; ++i) {
        t = monotonicNs();
        Exit e = runToFiles(batchPath, {"journal", "--verify", "--journal", path}, dir, "/dev/null", out, err);
        verifyS.push_back(msSince(t) / 1000);
        intact = intact && e.code == 0;
        t = monotonicNs();
        JournalRead read = readJournal(path, JournalFilter(), false);
        inProcessS.push_back(msSince(t) / 1000);
        intact = intact && read.chain.result == CHAIN_INTACT;
    }
    printf("journal --verify of %d lines: median %.3f s (in process %.3f s), %s (goal: under %.0f s)\n",
           2 * APPLIES + APPENDS, median(verifyS), median(inProcessS), intact ? "chain intact" : "NOT INTACT",
           VERIFY_GOAL_S);
    printf("  %s", readFile(out).c_str());
    return intact && appendMedian < APPEND_GOAL_MS && median(verifyS) < VERIFY_GOAL_S;
}

static bool reportFigures(const std::string& dir)
{
    std::string path = dir + "/report.jsonl";
    if (!bulkJournal(path, 1, REPORT_CONTROLLERS)) {
        return false;
    }
    std::vector<double> writeS;
    std::string html = dir + "/handover.html";
    std::string err = dir + "/report.err";
    bool written = true;
    for (int i = 0; i < 5; ++i) {
        int64_t t = monotonicNs();
        Exit e = runToFiles(batchPath, {"report", "--journal", path, "--title", "Line 4"}, dir, "/dev/null", html, err);
        writeS.push_back(msSince(t) / 1000);
        written = written && e.code == 0;
    }
    std::string page = readFile(html);
    printf("\nhandover report of %d controllers: written in %.3f s (median of 5), %.0f kB, %zu rows\n",
           REPORT_CONTROLLERS, median(writeS), (double)page.size() / 1000, countOf(page, "<tr><td class=\"n\">"));
    if (access("/usr/bin/chromium", X_OK) != 0) {
        printf("printing to PDF: /usr/bin/chromium is missing\n");
        return false;
    }
    // The browser's start and an empty page's print alone, to tell the report's share.
    std::string empty = dir + "/empty.html";
    FILE* f = fopen(empty.c_str(), "wb");
    if (f != nullptr) {
        fputs("<!DOCTYPE html><title>empty</title>\n", f);
        fclose(f);
    }
    std::string pdf = dir + "/handover.pdf";
    auto printMedian = [&](const std::string& page, const std::string& to) {
        std::vector<double> seconds;
        for (int i = 0; i < 3; ++i) {
            int64_t t = monotonicNs();
            ToolRun print = runProgram(
                "/usr/bin/chromium",
                {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage", "--no-pdf-header-footer",
                 "--user-data-dir=" + dir + "/profile", "--print-to-pdf=" + to, "file://" + page},
                "", dir, 120);
            seconds.push_back(msSince(t) / 1000);
            written = written && print.exitCode == 0;
        }
        return median(seconds);
    };
    double emptyS = printMedian(empty, dir + "/empty.pdf");
    double printS = printMedian(html, pdf);
    ToolRun text = runProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"}, "", dir, 60);
    size_t pages = countOf(text.out, "\f");
    size_t macs = countOf(text.out, "00:1a:2b:3c:");
    printf("printed to PDF in headless chromium: %.2f s (median of 3; an empty page takes %.2f s, the browser's "
           "start), %zu A4 pages, %zu of %d MACs in the PDF's text\n",
           printS, emptyS, pages, macs, REPORT_CONTROLLERS);
    return written && macs == (size_t)REPORT_CONTROLLERS;
}

int main()
{
    char why[256];
    if (!inPrivateNetns(why, sizeof why)) {
        fprintf(stderr, "journal_bench: %s\n", why);
        return 2;
    }
    std::string dir = makeTempDir();
    printf("journal benchmark in %s\n", dir.c_str());
    fflush(stdout);
    bool ok = journalFigures(dir);
    fflush(stdout);
    ok = reportFigures(dir) && ok;
    printf("\n%s\n", ok ? "all goals met" : "a goal was missed");
    return ok ? 0 : 1;
}
