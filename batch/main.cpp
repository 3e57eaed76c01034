// brevindor-batch: the controller protocol for scripts. Scans, sets one controller or applies a
// plan, verifies, never prompts and never reads standard input. Standard output holds only the
// result; progress, warnings and errors go to standard error. The exit status says how it went.
#include <getopt.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commission/interfaces.h"
#include "commission/plan.h"
#include "commission/scanner.h"
#include "protocol/address.h"
#include "protocol/messages.h"
#include "report/batch_output.h"
#include "report/fields.h"

namespace {

const char PROGRAM[] = "brevindor-batch";

// Exit status
const int EXIT_OK = 0;
const int EXIT_NOT_FOUND = 1;   // nothing found, or a planned controller not found
const int EXIT_USAGE = 2;       // usage or plan error, unknown or no interface; nothing sent
const int EXIT_NETWORK = 3;     // network or system failure
const int EXIT_UNCONFIRMED = 4;

const double MAX_SECONDS = 86400;
const double VERIFY_REQUEST_EVERY_S = 1;

enum Format { FORMAT_TABLE, FORMAT_CSV, FORMAT_JSON };

struct Settings {
    std::string command;
    std::string where;
    double timeout = 2;
    double maxTime = 60;
    double verifyTime = 10;
    Format format = FORMAT_TABLE;
    bool noVerify = false;
    bool dryRun = false;
    std::string mac, ip, gateway, mask;
    std::string plan;
};

void printUsage(FILE* out)
{
    fprintf(out,
            "usage: %s scan [--interface WHERE] [--timeout S] [--max-time S] [--format table|csv|json]\n"
            "       %s set --mac MAC [--ip A] [--gateway A] [--mask A] [--interface WHERE] [--timeout S]\n"
            "                      [--max-time S] [--verify-time S] [--no-verify]\n"
            "       %s apply PLAN [--interface WHERE] [--timeout S] [--max-time S] [--verify-time S] [--dry-run]\n"
            "\n"
            "WHERE: a local IPv4 address, an interface name, or 'all' (every interface that is up,\n"
            "other than loopback). Without it, the only such address; more than one is an error.\n"
            "--timeout: the scan ends this long after the last answer (default 2 s), but never\n"
            "later than --max-time (default 60 s). --verify-time: how long to wait for a set\n"
            "controller to report its new values (default 10 s).\n"
            "PLAN: CSV with the header mac,ip,gateway,mask; an empty gateway or mask keeps the value\n"
            "the controller reports; lines starting with '#' are comments.\n"
            "\n"
            "Exit status: 0 success, 1 nothing found or a planned controller not found, 2 usage or\n"
            "plan error or no interface (nothing sent), 3 network or system failure, 4 sent but\n"
            "not confirmed.\n",
            PROGRAM, PROGRAM, PROGRAM);
}

int usageError(const char* format, const char* value)
{
    fprintf(stderr, "%s: ", PROGRAM);
    fprintf(stderr, format, value);
    fprintf(stderr, "\nTry '%s --help'.\n", PROGRAM);
    return EXIT_USAGE;
}

bool readSeconds(const char* text, double* seconds)
{
    char* end = NULL;
    errno = 0;
    double value = strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(value) || value < 0 || value > MAX_SECONDS) {
        return false;
    }
    *seconds = value;
    return true;
}

// The command line into settings; EXIT_OK or the exit status of a usage error (printed).
int readArguments(int argc, char** argv, Settings* s)
{
    enum { OPT_MAC = 256, OPT_IP, OPT_GATEWAY, OPT_MASK, OPT_VERIFY_TIME, OPT_NO_VERIFY, OPT_DRY_RUN, OPT_MAX_TIME };
    static const option OPTIONS[] = {
        {"interface", required_argument, NULL, 'i'},
        {"timeout", required_argument, NULL, 't'},
        {"max-time", required_argument, NULL, OPT_MAX_TIME},
        {"format", required_argument, NULL, 'f'},
        {"mac", required_argument, NULL, OPT_MAC},
        {"ip", required_argument, NULL, OPT_IP},
        {"gateway", required_argument, NULL, OPT_GATEWAY},
        {"mask", required_argument, NULL, OPT_MASK},
        {"verify-time", required_argument, NULL, OPT_VERIFY_TIME},
        {"no-verify", no_argument, NULL, OPT_NO_VERIFY},
        {"dry-run", no_argument, NULL, OPT_DRY_RUN},
        {"help", no_argument, NULL, 'h'},
        {NULL, 0, NULL, 0},
    };
    if (argc < 2) {
        return usageError("%sa command is needed: scan, set or apply", "");
    }
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        printUsage(stdout);
        return -1;
    }
    s->command = argv[1];
    if (s->command != "scan" && s->command != "set" && s->command != "apply") {
        return usageError("unknown command '%s'", argv[1]);
    }
    optind = 2;
    opterr = 1;
    std::vector<std::string> operands;
    for (;;) {
        int c = getopt_long(argc, argv, "-i:t:f:h", OPTIONS, NULL);
        if (c == -1) {
            break;
        }
        switch (c) {
        case 1:
            operands.push_back(optarg);
            break;
        case 'i':
            s->where = optarg;
            break;
        case 't':
            if (!readSeconds(optarg, &s->timeout)) {
                return usageError("bad --timeout '%s' (seconds, 0 to 86400)", optarg);
            }
            break;
        case OPT_MAX_TIME:
            if (!readSeconds(optarg, &s->maxTime) || s->maxTime == 0) {
                return usageError("bad --max-time '%s' (seconds, above 0 up to 86400)", optarg);
            }
            break;
        case OPT_VERIFY_TIME:
            if (!readSeconds(optarg, &s->verifyTime)) {
                return usageError("bad --verify-time '%s' (seconds, 0 to 86400)", optarg);
            }
            break;
        case 'f':
            if (strcmp(optarg, "table") == 0) {
                s->format = FORMAT_TABLE;
            } else if (strcmp(optarg, "csv") == 0) {
                s->format = FORMAT_CSV;
            } else if (strcmp(optarg, "json") == 0) {
                s->format = FORMAT_JSON;
            } else {
                return usageError("bad --format '%s' (table, csv or json)", optarg);
            }
            break;
        case OPT_MAC:
            s->mac = optarg;
            break;
        case OPT_IP:
            s->ip = optarg;
            break;
        case OPT_GATEWAY:
            s->gateway = optarg;
            break;
        case OPT_MASK:
            s->mask = optarg;
            break;
        case OPT_NO_VERIFY:
            s->noVerify = true;
            break;
        case OPT_DRY_RUN:
            s->dryRun = true;
            break;
        case 'h':
            printUsage(stdout);
            return -1;
        default:
            return usageError("%sbad option", "");
        }
    }

    // Each option belongs to its commands.
    bool isScan = s->command == "scan";
    bool isSet = s->command == "set";
    bool isApply = s->command == "apply";
    if (!isSet && (!s->mac.empty() || !s->ip.empty() || !s->gateway.empty() || !s->mask.empty() || s->noVerify)) {
        return usageError("--mac, --ip, --gateway, --mask and --no-verify belong to set, not %s", argv[1]);
    }
    if (!isApply && s->dryRun) {
        return usageError("--dry-run belongs to apply, not %s", argv[1]);
    }
    if (!isScan && s->format != FORMAT_TABLE) {
        return usageError("--format belongs to scan, not %s", argv[1]);
    }
    if (isApply) {
        if (operands.size() != 1) {
            return usageError("%sapply needs one PLAN file", "");
        }
        s->plan = operands[0];
    } else if (!operands.empty()) {
        return usageError("unexpected argument '%s'", operands[0].c_str());
    }
    return EXIT_OK;
}

std::string addressText(const unsigned char* a)
{
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

void listCandidates(const std::vector<LocalInterface>& candidates)
{
    for (const LocalInterface& c : candidates) {
        fprintf(stderr, "  %s%s%s\n", addressText(c.address).c_str(), c.name[0] != '\0' ? " " : "", c.name);
    }
}

// The local addresses to work from; EXIT_OK or the status of the failure (printed).
int chooseLocals(const std::string& where, std::vector<LocalInterface>* chosen)
{
    std::vector<LocalInterface> candidates;
    switch (chooseInterfaces(where, chosen, &candidates)) {
    case CHOSEN:
        return EXIT_OK;
    case CHOICE_UNKNOWN:
        fprintf(stderr, "%s: no interface that is up has the address or name '%s'; candidates:\n", PROGRAM,
                where.c_str());
        listCandidates(candidates);
        return EXIT_USAGE;
    case CHOICE_NONE:
        fprintf(stderr, "%s: no interface other than loopback is up with an IPv4 address; name one with --interface\n",
                PROGRAM);
        return EXIT_USAGE;
    case CHOICE_AMBIGUOUS:
        fprintf(stderr, "%s: more than one interface to choose from; name one with --interface (or 'all'):\n", PROGRAM);
        listCandidates(candidates);
        return EXIT_USAGE;
    case CHOICE_FAILED:
        break;
    }
    fprintf(stderr, "%s: can't list the local addresses\n", PROGRAM);
    return EXIT_NETWORK;
}

// Opens the sockets, requests and listens with the quiet-time rule. EXIT_OK or the status.
int scanOnce(Scanner& scanner, const Settings& s)
{
    std::vector<LocalInterface> locals;
    int status = chooseLocals(s.where, &locals);
    if (status != EXIT_OK) {
        return status;
    }
    if (!openScanner(scanner, locals, stderr)) {
        return EXIT_NETWORK;
    }
    for (const LocalInterface& local : locals) {
        fprintf(stderr, "%s: scanning from %s%s%s\n", PROGRAM, addressText(local.address).c_str(),
                local.name[0] != '\0' ? " on " : "", local.name);
    }
    if (!sendRequests(scanner, stderr)) {
        return EXIT_NETWORK;
    }
    ListenEnd end = listen(scanner, s.timeout, s.maxTime, nullptr, stderr);
    if (end == LISTEN_FAILED) {
        return EXIT_NETWORK;
    }
    if (end == LISTEN_DEADLINE) {
        fprintf(stderr, "%s: answers kept coming; the scan ended at --max-time (%g s)\n", PROGRAM, s.maxTime);
    }
    if (scanner.ignored > 0 || scanner.tooLong > 0) {
        fprintf(stderr, "%s: ignored %ld datagrams that are no response (%ld too long)\n", PROGRAM,
                scanner.ignored + scanner.tooLong, scanner.tooLong);
    }
    fprintf(stderr, "%s: %zu controllers, %ld answers\n", PROGRAM, scanner.found.size(), scanner.datagrams);
    return EXIT_OK;
}

int runScan(const Settings& s)
{
    Scanner scanner;
    int status = scanOnce(scanner, s);
    closeScanner(scanner);
    if (status != EXIT_OK) {
        return status;
    }
    if (s.format == FORMAT_JSON) {
        printScanJson(stdout, scanner.found);
    } else if (s.format == FORMAT_CSV) {
        printScanCsv(stdout, scanner.found);
    } else {
        printScanTable(stdout, scanner.found);
    }
    if (scanner.found.empty()) {
        fprintf(stderr, "%s: no controller answered\n", PROGRAM);
        return EXIT_NOT_FOUND;
    }
    return EXIT_OK;
}

void targetOf(const PlanRow& row, const Sighting* seen, Outcome* o)
{
    const bool set[3] = {row.setIp, row.setGateway, row.setMask};
    const unsigned char* given[3] = {row.ip, row.gateway, row.mask};
    const unsigned char* reported[3] = {NULL, NULL, NULL};
    if (seen != NULL) {
        reported[0] = seen->response.ip;
        reported[1] = seen->response.gateway;
        reported[2] = seen->response.mask;
    }
    for (int f = 0; f < 3; ++f) {
        const unsigned char* value = set[f] ? given[f] : reported[f];
        o->known[f] = value != NULL;
        if (value != NULL) {
            memcpy(o->target[f], value, IPV4_LEN);
        }
    }
}

bool reportsTarget(const Response& r, const Outcome& o)
{
    return memcmp(r.ip, o.target[0], IPV4_LEN) == 0 && memcmp(r.gateway, o.target[1], IPV4_LEN) == 0 &&
           memcmp(r.mask, o.target[2], IPV4_LEN) == 0;
}

// Scans once, sends every setting that changes something, verifies them together.
int runPlan(const std::vector<PlanRow>& rows, const Settings& s, bool withLine)
{
    Scanner scanner;
    int status = scanOnce(scanner, s);
    if (status != EXIT_OK) {
        closeScanner(scanner);
        return status;
    }

    std::vector<Outcome> outcomes(rows.size());
    std::vector<size_t> sent;
    for (size_t i = 0; i < rows.size(); ++i) {
        Outcome& o = outcomes[i];
        memset(&o, 0, sizeof o);
        o.line = rows[i].line;
        memcpy(o.mac, rows[i].mac, MAC_LEN);
        const Sighting* seen = findSighting(scanner, rows[i].mac);
        targetOf(rows[i], seen, &o);
        if (seen == NULL) {
            o.state = OUTCOME_NOT_FOUND;
            fprintf(stderr, "%s: no controller with MAC ", PROGRAM);
            printMac(stderr, o.mac);
            fprintf(stderr, " answered; nothing sent to it\n");
            continue;
        }
        o.found = true;
        o.now = seen->response;
        if (reportsTarget(seen->response, o)) {
            o.state = OUTCOME_UNCHANGED;
            continue;
        }
        if (s.dryRun) {
            o.state = OUTCOME_WOULD_SEND;
            continue;
        }
        unsigned char setting[SETTING_LEN];
        buildSetting(setting, o.mac, o.target[0], o.target[1], o.target[2]);
        if (!sendSetting(scanner, *seen, setting, stderr)) {
            closeScanner(scanner);
            return EXIT_NETWORK;
        }
        o.state = s.noVerify ? OUTCOME_SENT : OUTCOME_NOT_CONFIRMED;
        sent.push_back(i);
    }
    if (!sent.empty()) {
        fprintf(stderr, "%s: sent %zu settings\n", PROGRAM, sent.size());
    }

    // Verify: a request every second until every controller sent to reports its target.
    auto confirmed = [&]() {
        bool all = true;
        for (size_t i : sent) {
            const Sighting* seen = findSighting(scanner, outcomes[i].mac);
            outcomes[i].now = seen->response;
            if (reportsTarget(seen->response, outcomes[i])) {
                outcomes[i].state = OUTCOME_VERIFIED;
            } else {
                all = false;
            }
        }
        return all;
    };
    if (!sent.empty() && !s.noVerify) {
        typedef std::chrono::steady_clock Clock;
        Clock::time_point start = Clock::now();
        for (;;) {
            double left = s.verifyTime - std::chrono::duration<double>(Clock::now() - start).count();
            if (left <= 0 || confirmed()) {
                break;
            }
            if (!sendRequests(scanner, stderr)) {
                status = EXIT_NETWORK;
                break;
            }
            double wait = left < VERIFY_REQUEST_EVERY_S ? left : VERIFY_REQUEST_EVERY_S;
            if (listen(scanner, -1, wait, confirmed, stderr) == LISTEN_FAILED) {
                status = EXIT_NETWORK;
                break;
            }
        }
        confirmed();
    }
    closeScanner(scanner);

    printSummary(stdout, outcomes, withLine);
    bool unconfirmed = false;
    bool missing = false;
    for (const Outcome& o : outcomes) {
        unconfirmed = unconfirmed || o.state == OUTCOME_NOT_CONFIRMED;
        missing = missing || o.state == OUTCOME_NOT_FOUND;
    }
    if (status == EXIT_NETWORK) {
        return EXIT_NETWORK;
    }
    if (unconfirmed) {
        return EXIT_UNCONFIRMED;
    }
    return missing ? EXIT_NOT_FOUND : EXIT_OK;
}

int runSet(const Settings& s)
{
    PlanRow row;
    memset(&row, 0, sizeof row);
    if (s.mac.empty() || !parseMac(s.mac.c_str(), row.mac)) {
        return usageError("set needs --mac as six hex pairs joined by ':' or '.' (got '%s')", s.mac.c_str());
    }
    if (s.ip.empty() && s.gateway.empty() && s.mask.empty()) {
        return usageError("%sset needs at least one of --ip, --gateway, --mask", "");
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
            fprintf(stderr, "%s: bad %s '%s': four decimal numbers 0 to 255, no leading zeros\n", PROGRAM, f.name,
                    f.text.c_str());
            return EXIT_USAGE;
        }
    }
    return runPlan(std::vector<PlanRow>(1, row), s, false);
}

int runApply(const Settings& s)
{
    FILE* file = fopen(s.plan.c_str(), "rb");
    if (file == NULL) {
        fprintf(stderr, "%s: can't open the plan %s: %s\n", PROGRAM, s.plan.c_str(), strerror(errno));
        return EXIT_USAGE;
    }
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    bool readFailed = ferror(file) != 0;
    fclose(file);
    if (readFailed) {
        fprintf(stderr, "%s: can't read the plan %s\n", PROGRAM, s.plan.c_str());
        return EXIT_USAGE;
    }
    std::vector<PlanRow> rows;
    std::vector<PlanError> errors;
    if (!readPlan(text, &rows, &errors)) {
        for (const PlanError& e : errors) {
            fprintf(stderr, "%s:%d: %s\n", s.plan.c_str(), e.line, e.message.c_str());
        }
        fprintf(stderr, "%s: %zu errors in the plan; nothing sent\n", PROGRAM, errors.size());
        return EXIT_USAGE;
    }
    return runPlan(rows, s, true);
}

}   // namespace

int main(int argc, char** argv)
{
    Settings s;
    int status = readArguments(argc, argv, &s);
    if (status != EXIT_OK) {
        return status < 0 ? EXIT_OK : status;
    }
    WSADATA data;
    if (WSAStartup(WINSOCK_VERSION_1_1, &data) != 0) {
        fprintf(stderr, "%s: the socket library did not start\n", PROGRAM);
        return EXIT_NETWORK;
    }
    if (s.command == "scan") {
        status = runScan(s);
    } else if (s.command == "set") {
        status = runSet(s);
    } else {
        status = runApply(s);
    }
    fflush(stdout);
    WSACleanup();
    return status;
}
