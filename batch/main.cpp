// brevindor-batch: the controller protocol for scripts. Scans, sets one controller or applies a
// plan, verifies, never prompts; standard input is read only as the plan of "apply -". Standard
// output holds only the result; progress, warnings and errors go to standard error. The exit
// status says how it went.
// This file is the command table and the dispatch; the work is done in commission/, the texts in
// report/.
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "batch/journal_commands.h"
#include "batch/options.h"
#include "commission/apply.h"
#include "commission/interfaces.h"
#include "commission/plan.h"
#include "commission/socket_wire.h"
#include "commission/undo.h"
#include "protocol/address.h"
#include "report/batch_output.h"
#include "report/no_answer_text.h"
#include "report/refusal_text.h"
#include "report/status_line.h"

#ifndef BREVINDOR_VERSION
#error BREVINDOR_VERSION must give the version of the project
#endif

namespace {

int runScan(const Settings& s);
int runSet(const Settings& s);
int runApply(const Settings& s);

const Command COMMANDS[] = {
    {"scan", runScan, "[--interface WHERE] [--timeout S] [--max-time S] [--format table|csv|json] [--bom]",
     SCAN_OPTIONS, SCAN_SHORT_OPTIONS, 0},
    {"set", runSet,
     "--mac MAC [--ip A] [--gateway A] [--mask A] [--interface WHERE] [--timeout S]\n"
     "                      [--max-time S] [--settle S] [--verify-time S] [--no-verify] [--undo FILE]\n"
     "                      [--journal FILE | --no-journal] [--format table|csv|json] [--bom]",
     SET_OPTIONS, PLAN_SHORT_OPTIONS, 0},
    {"apply", runApply,
     "PLAN|- [--interface WHERE] [--timeout S] [--max-time S] [--settle S] [--verify-time S]\n"
     "                      [--dry-run] [--undo FILE] [--journal FILE | --no-journal]\n"
     "                      [--format table|csv|json] [--bom]",
     APPLY_OPTIONS, PLAN_SHORT_OPTIONS, 1},
    {"journal", runJournal,
     "[--since T] [--until T] [--mac MAC] [--format table|csv|json] [--journal FILE]\n"
     "                      | --verify [--journal FILE]",
     JOURNAL_OPTIONS, JOURNAL_SHORT_OPTIONS, 0},
    {"report", runReport, "[--since T] [--until T] [--title TEXT] [--journal FILE] > handover.html", REPORT_OPTIONS,
     JOURNAL_SHORT_OPTIONS, 0},
};
const int COMMAND_COUNT = sizeof COMMANDS / sizeof COMMANDS[0];

void printUsage(FILE* out)
{
    const char* lead = "usage:";
    for (const Command& c : COMMANDS) {
        fprintf(out, "%s %s %s %s\n", lead, BATCH_PROGRAM, c.name, c.usage);
        lead = "      ";
    }
    fprintf(out,
            "       %s --version\n"
            "\n"
            "WHERE: a local IPv4 address, an interface name (on Windows the adapter's, as \"Ethernet 2\"),\n"
            "in any case, or 'all' (every interface that is up, other than loopback and tunnels: a VPN\n"
            "is used only when named). Without it, the only such interface; more than one is an error\n"
            "that lists them.\n"
            "--timeout: the scan ends this long after the last answer (default 2 s), but never\n"
            "later than --max-time (default 60 s). --settle: once every MAC to be set answered, how\n"
            "long to go on asking for a second device with one of them (default 1 s; shorter is\n"
            "faster, but a clone answering later than that is missed). --verify-time: how long to\n"
            "wait for a set controller to report its new values (default 10 s). --undo FILE: before\n"
            "anything is sent, a plan that puts back the values the controllers to be set reported\n"
            "(checked before the scan, --dry-run too). --bom: with --format csv, the UTF-8\n"
            "byte-order mark first, which spreadsheets need to read UTF-8.\n"
            "--journal FILE: the journal of every change (default: journal.jsonl in the user's state\n"
            "folder, $XDG_STATE_HOME/brevindor or ~/.local/state/brevindor; %%LOCALAPPDATA%%\\brevindor\n"
            "on Windows). journal lists it; --verify checks its chain of SHA-256 hashes. report writes\n"
            "the handover record as one HTML page. T: a date 2026-12-09 (the whole day), a local time\n"
            "2026-12-09T15:30, or UTC 2026-12-09T14:30:00Z.\n"
            "PLAN: CSV with a header naming a mac column and any of ip, gateway, mask (other columns\n"
            "are ignored), separated by ',', ';' or tabs; an empty or missing cell keeps the value the\n"
            "controller reports; lines starting with '#' are comments. UTF-8, or UTF-16 with a\n"
            "byte-order mark (a spreadsheet's \"Unicode text\"); '-' reads it from standard input.\n"
            "After a summary, standard error gets a line counting each result.\n"
            "\n"
            "Exit status: 0 success, 1 nothing found or a planned controller not found, 2 usage or\n"
            "plan error, an address refused or no interface (nothing sent), 3 network or system\n"
            "failure, 4 sent but not confirmed, 5 a MAC answered from two senders, 128+n stopped by\n"
            "signal n.\n",
            BATCH_PROGRAM);
}

// How often the status line is redrawn while the program waits, when standard error is a terminal.
const double STATUS_EVERY_S = 0.1;

// The one status line, on standard error.
StatusLine& statusLine()
{
    static StatusLine line = {stderr, false, ""};
    return line;
}

// Progress goes to the status line; any other event is a line of its own, after the status line
// is cleared.
void printEventLine(const Event& e)
{
    if (isProgress(e.kind)) {
        drawStatus(statusLine(), e);
        return;
    }
    clearStatus(statusLine());
    printEvent(stderr, e);
}

// The engine's options, with progress events when there is a status line to show them.
ApplyOptions engineOptions(const Settings& s)
{
    ApplyOptions options = s.apply;
    options.scan.progressEvery = statusLine().terminal ? STATUS_EVERY_S : 0;
    return options;
}

// How the plan is named in messages.
std::string planName(const Settings& s)
{
    return s.plan == "-" ? "(standard input)" : s.plan;
}

// The undo file can't be written: told, and the status of a system failure.
int undoFailure(const Settings& s, int error)
{
    clearStatus(statusLine());
    fprintf(stderr, "%s: can't write the undo file %s: %s; nothing sent\n", BATCH_PROGRAM, s.undo.c_str(),
            strerror(error));
    return EXIT_NETWORK;
}

int networkFailure(const Failure& f)
{
    fprintf(stderr, "%s: ", BATCH_PROGRAM);
    printFailure(stderr, f);
    return EXIT_NETWORK;
}

// The chosen local addresses, their sockets and a scanner over them, and every address of this
// computer; EXIT_OK or the status.
int openScanner(const Settings& s, Sockets& sockets, Scanner& scanner, std::vector<LocalInterface>* own = NULL)
{
    std::vector<LocalInterface> locals;
    std::vector<LocalInterface> candidates;
    Choice choice = chooseInterfaces(s.where, &locals, &candidates, own);
    if (choice != CHOSEN) {
        printChoiceFailure(stderr, choice, s.where, candidates);
        return choice == CHOICE_FAILED ? EXIT_NETWORK : EXIT_USAGE;
    }
    Failure failure = openSockets(sockets, locals);
    if (failure.call != FAILED_NONE) {
        return networkFailure(failure);
    }
    for (size_t i = 0; i < locals.size(); ++i) {
        if (sockets.smallBuffer[i] != 0) {
            printEventLine({EVENT_SMALL_BUFFER, locals[i], {}, 0, 0, 0});
        }
    }
    startScanner(scanner, socketWire(sockets), locals);
    return EXIT_OK;
}

int runScan(const Settings& s)
{
    Sockets sockets;
    Scanner scanner;
    std::vector<LocalInterface> listed;
    int status = openScanner(s, sockets, scanner, &listed);
    if (status == EXIT_OK) {
        Failure failure = scanOnce(scanner, engineOptions(s).scan, printEventLine);
        clearStatus(statusLine());
        status = failure.call == FAILED_NONE ? EXIT_OK : networkFailure(failure);
    }
    closeSockets(sockets);
    if (status != EXIT_OK) {
        return status;
    }
    std::vector<ScanFlag> flags = scanFlags(scanner);
    printConflictWarnings(stderr, scanner.found, flags);
    void (*const print[])(FILE*, const std::vector<Sighting>&,
                          const std::vector<ScanFlag>&) = {printScanTable, printScanCsv, printScanJson};
    if (s.bom) {
        printByteOrderMark(stdout);
    }
    print[s.format](stdout, scanner.found, flags);
    if (scanner.found.empty()) {
        fprintf(stderr, "%s: no controller answered\n", BATCH_PROGRAM);
        printNoAnswerHints(stderr, scanner.locals, candidatesAmong(listed), WINDOWS_HOST);
        return EXIT_NOT_FOUND;
    }
    return EXIT_OK;
}

int runPlan(const std::vector<PlanRow>& rows, const Settings& s, bool withLine)
{
    int undoError = 0;
    if (!s.undo.empty() && !canWriteUndoFile(s.undo, &undoError)) {
        return undoFailure(s, undoError);   // found before the scan, --dry-run too
    }
    Sockets sockets;
    Scanner scanner;
    ApplyOptions options = engineOptions(s);
    int status = openScanner(s, sockets, scanner, &options.ownAddresses);
    if (status != EXIT_OK) {
        closeSockets(sockets);
        return status;
    }
    catchStopSignals();
    scanner.wire.stop = []() { return stopSignal() != 0; };
    if (!s.undo.empty()) {
        options.beforeSending = [&s](const std::vector<Outcome>& outcomes, const std::vector<size_t>& toSend) {
            int error = 0;
            if (!writeUndoFile(s.undo, outcomes, toSend, &error)) {
                (void)undoFailure(s, error);
                return false;
            }
            return true;
        };
    }
    ApplyResult result = applyPlan(scanner, rows, options, printEventLine);
    clearStatus(statusLine());
    closeSockets(sockets);
    for (const Refusal& r : result.refusals) {
        if (withLine) {
            fprintf(stderr, "%s:%d: %s\n", planName(s).c_str(), r.line, refusalText(r, true).c_str());
        } else {
            fprintf(stderr, "%s: %s\n", BATCH_PROGRAM, refusalText(r, false).c_str());
        }
    }
    if (!result.refusals.empty()) {
        fprintf(stderr, "%s: %zu %s refused; nothing sent\n", BATCH_PROGRAM, result.refusals.size(),
                result.refusals.size() == 1 ? "address" : "addresses");
    }
    if (result.failure.call != FAILED_NONE) {
        networkFailure(result.failure);
    }
    if (result.stopped) {
        fprintf(stderr, "%s: stopped by signal %d%s\n", BATCH_PROGRAM, stopSignal(),
                result.summary ? "" : " during the scan; nothing sent");
    }
    if (result.summary) {
        printOutcomeWarnings(stderr, result.outcomes);
        void (*const print[])(FILE*, const std::vector<Outcome>&, bool) = {printSummary, printSummaryCsv,
                                                                           printSummaryJson};
        if (s.bom) {
            printByteOrderMark(stdout);
        }
        print[s.format](stdout, result.outcomes, withLine);
        printTally(stderr, result.outcomes);
    }
    if (result.stopped) {
        return 128 + stopSignal();
    }
    return applyStatus(result);
}

int runSet(const Settings& s)
{
    PlanRow row;
    memset(&row, 0, sizeof row);
    if (s.mac.empty() || !parseMac(s.mac.c_str(), row.mac)) {
        return usageError("set needs --mac as six hex pairs joined by ':', '.' or '-', or twelve hex digits (got '%s')",
                          s.mac.c_str());
    }
    if (s.ip.empty() && s.gateway.empty() && s.mask.empty()) {
        return usageError("set needs at least one of --ip, --gateway, --mask");
    }
    const struct {
        const std::string& text;
        bool* set;
        unsigned char* address;
        const char* name;
    } fields[] = {
        {s.ip, &row.setIp, row.ip, "--ip"},
        {s.gateway, &row.setGateway, row.gateway, "--gateway"},
        {s.mask, &row.setMask, row.mask, "--mask"},
    };
    for (const auto& f : fields) {
        *f.set = !f.text.empty();
        if (*f.set && !parseIpv4(f.text.c_str(), f.address)) {
            fprintf(stderr, "%s: bad %s '%s': four decimal numbers 0 to 255, no leading zeros\n", BATCH_PROGRAM, f.name,
                    f.text.c_str());
            return EXIT_USAGE;
        }
    }
    return runPlan(std::vector<PlanRow>(1, row), s, false);
}

int runApply(const Settings& s)
{
    std::string text;
    int error = 0;
    std::string name = planName(s);
    PlanFileResult read;
    if (s.plan == "-") {
        if (isTerminal(stdin)) {
            return usageError("apply - reads the plan from standard input, which is a terminal; "
                              "redirect or pipe the plan into it");
        }
        setBinaryMode(stdin);
        read = readPlanStream(stdin, &text, &error);
    } else {
        read = readPlanFile(s.plan, &text, &error);
    }
    if (read == PLAN_FILE_TOO_LARGE) {
        fprintf(stderr, "%s: the plan %s is larger than %zu bytes; nothing sent\n", BATCH_PROGRAM, name.c_str(),
                PLAN_MAX_BYTES);
        return EXIT_USAGE;
    }
    if (read != PLAN_FILE_READ) {
        fprintf(stderr, "%s: can't %s the plan %s: %s\n", BATCH_PROGRAM, read == PLAN_FILE_CANT_OPEN ? "open" : "read",
                name.c_str(), strerror(error));
        return EXIT_USAGE;
    }
    std::vector<PlanRow> rows;
    std::vector<PlanError> errors;
    if (!readPlan(text, &rows, &errors)) {
        for (const PlanError& e : errors) {
            fprintf(stderr, "%s:%d: %s\n", name.c_str(), e.line, planErrorText(e).c_str());
        }
        fprintf(stderr, "%s: %zu error%s in the plan; nothing sent\n", BATCH_PROGRAM, errors.size(),
                errors.size() == 1 ? "" : "s");
        return EXIT_USAGE;
    }
    return runPlan(rows, s, true);
}

// The command and its settings from the command line; EXIT_OK, -1 after the help or the version,
// or the exit status of a usage error (printed).
int readArguments(int argc, char** argv, const Command** command, Settings* s)
{
    if (argc < 2) {
        return usageError("a command is needed: scan, set, apply, journal or report");
    }
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        printUsage(stdout);
        return -1;
    }
    if (strcmp(argv[1], "--version") == 0) {
        printf("%s %s\n", BATCH_PROGRAM, BREVINDOR_VERSION);
        return -1;
    }
    for (const Command& c : COMMANDS) {
        if (strcmp(argv[1], c.name) == 0) {
            *command = &c;
            int status = readOptions(argc, argv, c, COMMANDS, COMMAND_COUNT, s);
            if (status < 0) {
                printUsage(stdout);
            }
            return status;
        }
    }
    return usageError("unknown command '%s'", argv[1]);
}

// Flushes and closes standard output: a result that did not all get out is a failure (a full
// disk, a closed pipe with SIGPIPE ignored). Told on standard error; EXIT_NETWORK, or status.
int finishOutput(int status)
{
    bool failed = ferror(stdout) != 0;
    int error = errno;
    if (fflush(stdout) != 0) {
        failed = true;
        error = errno;
    }
    if (fclose(stdout) != 0 && !failed) {
        failed = true;
        error = errno;
    }
    if (!failed) {
        return status;
    }
    fprintf(stderr, "%s: the result could not be written to standard output: %s\n", BATCH_PROGRAM, strerror(error));
    return EXIT_NETWORK;
}

int run(int argc, char** argv)
{
    const Command* command = NULL;
    Settings s;
    int status = readArguments(argc, argv, &command, &s);
    if (status != EXIT_OK || command == NULL) {
        return status < 0 ? EXIT_OK : status;
    }
    WSADATA data;
    if (WSAStartup(WINSOCK_VERSION_1_1, &data) != 0) {
        fprintf(stderr, "%s: the socket library did not start\n", BATCH_PROGRAM);
        return EXIT_NETWORK;
    }
    status = command->run(s);
    WSACleanup();
    return status;
}

}   // namespace

int main(int argc, char** argv)
{
    reserveStandardFiles();
    showUtf8OnConsole();
    statusLine().terminal = isTerminal(stderr);
    int status;
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc&) {
        clearStatus(statusLine());
        fprintf(stderr, "%s: out of memory\n", BATCH_PROGRAM);
        status = EXIT_NETWORK;
    }
    return finishOutput(status);
}
