// brevindor-batch: the controller protocol for scripts. Scans, sets one controller or applies a
// plan, verifies, never prompts; standard input is read only as the plan of "apply -". Standard
// output holds only the result; progress, warnings and errors go to standard error. The exit
// status says how it went.
// This file is the command table and the dispatch; each command is a file of its own
// (batch/commands.h), the work is done in commission/, the texts in report/.
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "batch/commands.h"
#include "batch/journal_commands.h"
#include "batch/output.h"
#include "batch/watch_command.h"
#include "report/messages.h"

#ifndef BREVINDOR_VERSION
#error BREVINDOR_VERSION must give the version of the project
#endif

namespace {

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
    {"replace", runReplace,
     "--old MAC --new MAC [--from FILE] [--interface WHERE] [--timeout S] [--max-time S]\n"
     "                      [--settle S] [--verify-time S] [--undo FILE] [--journal FILE | --no-journal]\n"
     "                      [--format table|csv|json] [--bom]",
     REPLACE_OPTIONS, PLAN_SHORT_OPTIONS, 0},
    {"watch", runWatchCommand, "[--interface WHERE] [--every S] [--gone-after N] [--format table|json] [--max-time S]",
     WATCH_OPTIONS, WATCH_SHORT_OPTIONS, 0},
    {"doctor", runDoctorCommand, "[--interface WHERE] [--timeout S] [--format table|json]", DOCTOR_OPTIONS,
     DOCTOR_SHORT_OPTIONS, 0},
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
            "replace: the controller --new takes the IP, gateway and mask of --old's row in --from (a plan,\n"
            "an undo file or a scan's CSV; without it, the values the journal last knew of --old), then\n"
            "goes as apply; refused while --old still answers (5).\n"
            "After a summary, standard error gets a line counting each result.\n"
            "watch: asks every --every seconds (default 2, 0.25 to 3600) and prints each change at\n"
            "once, one line each: present, appeared, gone (not heard in --gone-after asks in a row,\n"
            "default 3), back, changed (IP, gateway, mask or node name), conflict (a second sender\n"
            "for a MAC, or a duplicate IP); as JSON Lines with --format json. It ends at Ctrl-C,\n"
            "SIGTERM or --max-time with status 0, after a tally on standard error.\n"
            "\n"
            "Exit status: 0 success, 1 nothing found or a planned controller not found, 2 usage or\n"
            "plan error, an address refused or no interface (nothing sent), 3 network or system\n"
            "failure, 4 sent but not confirmed, 5 a MAC answered from two senders, 128+n stopped by\n"
            "signal n. doctor checks this computer (interfaces, route, port, receive buffer, on\n"
            "Windows the firewall), scans each interface and prints a line a finding with its fix;\n"
            "0 when all is ok and a controller answered, else 1.\n",
            BATCH_PROGRAM);
}

// The command and its settings from the command line; EXIT_OK, -1 after the help or the version,
// or the exit status of a usage error (printed).
int readArguments(int argc, char** argv, const Command** command, Settings* s)
{
    if (argc < 2) {
        return usageError("a command is needed: scan, set, apply, replace, watch, doctor, journal or report");
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
    say(std::string("the result could not be written to standard output: ") + strerror(error));
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
        say(socketLibraryText());
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
    startStatus();
    int status;
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc&) {
        say(outOfMemoryText());
        status = EXIT_NETWORK;
    }
    return finishOutput(status);
}
