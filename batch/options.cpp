#include "batch/options.h"

#include <cstdarg>
#include <cstring>
#include <vector>

#include "batch/output.h"
#include "commission/limits.h"
#include "report/input_text.h"

enum OptionCode {
    OPT_MAC = 256,
    OPT_IP,
    OPT_GATEWAY,
    OPT_MASK,
    OPT_VERIFY_TIME,
    OPT_NO_VERIFY,
    OPT_DRY_RUN,
    OPT_MAX_TIME,
    OPT_UNDO,
    OPT_SETTLE,
    OPT_BOM,
    OPT_TABLE_OR_JSON,   // --format of watch and doctor
    OPT_JOURNAL,
    OPT_NO_JOURNAL,
    OPT_SINCE,
    OPT_UNTIL,
    OPT_TITLE,
    OPT_VERIFY,
    OPT_OLD,
    OPT_NEW,
    OPT_FROM,
    OPT_EVERY,
    OPT_GONE_AFTER,
    OPT_WATCH_MAX_TIME,   // no limit unless given
};

#define OPTION_INTERFACE                                                                                               \
    {                                                                                                                  \
        "interface", required_argument, NULL, 'i'                                                                      \
    }
#define OPTION_TIMEOUT                                                                                                 \
    {                                                                                                                  \
        "timeout", required_argument, NULL, 't'                                                                        \
    }
#define OPTION_MAX_TIME                                                                                                \
    {                                                                                                                  \
        "max-time", required_argument, NULL, OPT_MAX_TIME                                                              \
    }
#define OPTION_VERIFY_TIME                                                                                             \
    {                                                                                                                  \
        "verify-time", required_argument, NULL, OPT_VERIFY_TIME                                                        \
    }
#define OPTION_SETTLE                                                                                                  \
    {                                                                                                                  \
        "settle", required_argument, NULL, OPT_SETTLE                                                                  \
    }
#define OPTION_FORMAT                                                                                                  \
    {                                                                                                                  \
        "format", required_argument, NULL, 'f'                                                                         \
    }
#define OPTION_UNDO                                                                                                    \
    {                                                                                                                  \
        "undo", required_argument, NULL, OPT_UNDO                                                                      \
    }
#define OPTION_BOM                                                                                                     \
    {                                                                                                                  \
        "bom", no_argument, NULL, OPT_BOM                                                                              \
    }
#define OPTION_JOURNAL                                                                                                 \
    {                                                                                                                  \
        "journal", required_argument, NULL, OPT_JOURNAL                                                                \
    }
#define OPTION_NO_JOURNAL                                                                                              \
    {                                                                                                                  \
        "no-journal", no_argument, NULL, OPT_NO_JOURNAL                                                                \
    }
#define OPTION_SINCE                                                                                                   \
    {                                                                                                                  \
        "since", required_argument, NULL, OPT_SINCE                                                                    \
    }
#define OPTION_UNTIL                                                                                                   \
    {                                                                                                                  \
        "until", required_argument, NULL, OPT_UNTIL                                                                    \
    }
#define OPTION_HELP                                                                                                    \
    {                                                                                                                  \
        "help", no_argument, NULL, 'h'                                                                                 \
    }
#define OPTION_END                                                                                                     \
    {                                                                                                                  \
        NULL, 0, NULL, 0                                                                                               \
    }

const option DOCTOR_OPTIONS[] = {
    OPTION_INTERFACE, OPTION_TIMEOUT, {"format", required_argument, NULL, OPT_TABLE_OR_JSON}, OPTION_HELP, OPTION_END,
};
const option SCAN_OPTIONS[] = {
    OPTION_INTERFACE, OPTION_TIMEOUT, OPTION_MAX_TIME, OPTION_FORMAT, OPTION_BOM, OPTION_HELP, OPTION_END,
};
const option SET_OPTIONS[] = {
    OPTION_INTERFACE,
    OPTION_TIMEOUT,
    OPTION_MAX_TIME,
    {"mac", required_argument, NULL, OPT_MAC},
    {"ip", required_argument, NULL, OPT_IP},
    {"gateway", required_argument, NULL, OPT_GATEWAY},
    {"mask", required_argument, NULL, OPT_MASK},
    OPTION_SETTLE,
    OPTION_VERIFY_TIME,
    {"no-verify", no_argument, NULL, OPT_NO_VERIFY},
    OPTION_UNDO,
    OPTION_JOURNAL,
    OPTION_NO_JOURNAL,
    OPTION_FORMAT,
    OPTION_BOM,
    OPTION_HELP,
    OPTION_END,
};
const option REPLACE_OPTIONS[] = {
    OPTION_INTERFACE,
    OPTION_TIMEOUT,
    OPTION_MAX_TIME,
    {"old", required_argument, NULL, OPT_OLD},
    {"new", required_argument, NULL, OPT_NEW},
    {"from", required_argument, NULL, OPT_FROM},
    OPTION_SETTLE,
    OPTION_VERIFY_TIME,
    OPTION_UNDO,
    OPTION_JOURNAL,
    OPTION_NO_JOURNAL,
    OPTION_FORMAT,
    OPTION_BOM,
    OPTION_HELP,
    OPTION_END,
};
const option APPLY_OPTIONS[] = {
    OPTION_INTERFACE, OPTION_TIMEOUT,     OPTION_MAX_TIME,
    OPTION_SETTLE,    OPTION_VERIFY_TIME, {"dry-run", no_argument, NULL, OPT_DRY_RUN},
    OPTION_UNDO,      OPTION_JOURNAL,     OPTION_NO_JOURNAL,
    OPTION_FORMAT,    OPTION_BOM,         OPTION_HELP,
    OPTION_END,
};
const option JOURNAL_OPTIONS[] = {
    OPTION_JOURNAL, OPTION_SINCE,
    OPTION_UNTIL,   {"mac", required_argument, NULL, OPT_MAC},
    OPTION_FORMAT,  {"verify", no_argument, NULL, OPT_VERIFY},
    OPTION_HELP,    OPTION_END,
};
const option REPORT_OPTIONS[] = {
    OPTION_JOURNAL, OPTION_SINCE, OPTION_UNTIL, {"title", required_argument, NULL, OPT_TITLE}, OPTION_HELP, OPTION_END,
};

const option WATCH_OPTIONS[] = {
    OPTION_INTERFACE,
    {"every", required_argument, NULL, OPT_EVERY},
    {"gone-after", required_argument, NULL, OPT_GONE_AFTER},
    {"format", required_argument, NULL, OPT_TABLE_OR_JSON},
    {"max-time", required_argument, NULL, OPT_WATCH_MAX_TIME},
    OPTION_HELP,
    OPTION_END,
};

int usageError(const char* format, ...)   // NOLINT(cert-dcl50-cpp)
{
    va_list args;
    va_start(args, format);
    fprintf(stderr, "%s: ", BATCH_PROGRAM);
    vfprintf(stderr, format, args);   // NOLINT(clang-analyzer-valist.Uninitialized): started above
    va_end(args);
    fprintf(stderr, "\nTry '%s --help'.\n", BATCH_PROGRAM);
    return EXIT_USAGE;
}

// A seconds option into the settings; EXIT_OK or the status of a usage error (printed).
static int takeSeconds(int code, const char* value, Settings* s)
{
    const struct {
        double* seconds;
        const char* name;
        int code;
        bool zeroAllowed;
    } options[] = {
        {&s->apply.scan.quiet, "--timeout", 't', true},
        {&s->apply.scan.maxTime, "--max-time", OPT_MAX_TIME, false},
        {&s->apply.scan.settle, "--settle", OPT_SETTLE, true},
        {&s->apply.verifyTime, "--verify-time", OPT_VERIFY_TIME, true},
    };
    for (const auto& o : options) {
        if (o.code == code && !readSeconds(value, o.zeroAllowed, o.seconds)) {
            return usageError("bad %s '%s' (%s)", o.name, value, secondsRangeText(o.zeroAllowed).c_str());
        }
    }
    return EXIT_OK;
}

// A whole number from 1 to max.
static bool readCount(const char* text, int max, int* count)
{
    char* end = NULL;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < 1 || value > max) {
        return false;
    }
    *count = (int)value;
    return true;
}

// One of the watch's options into the settings; EXIT_OK or the status of a usage error (printed).
static int takeWatchOption(int code, const char* value, Settings* s)
{
    WatchOptions& w = s->watch;
    switch (code) {
    case OPT_EVERY:
        if (!readSeconds(value, true, &w.every) || w.every < WATCH_EVERY_MIN_S || w.every > WATCH_EVERY_MAX_S) {
            return usageError("bad --every '%s' (seconds, %g to %g)", value, WATCH_EVERY_MIN_S, WATCH_EVERY_MAX_S);
        }
        break;
    case OPT_GONE_AFTER:
        if (!readCount(value, WATCH_GONE_AFTER_MAX, &w.goneAfter)) {
            return usageError("bad --gone-after '%s' (asks, 1 to %d)", value, WATCH_GONE_AFTER_MAX);
        }
        break;
    case OPT_WATCH_MAX_TIME:
        if (!readSeconds(value, false, &w.maxTime)) {
            return usageError("bad --max-time '%s' (%s)", value, secondsRangeText(false).c_str());
        }
        break;
    default:
        break;
    }
    return EXIT_OK;
}

// One option into the settings; EXIT_OK or the status of a usage error (printed).
static int takeOption(int code, const char* value, Settings* s)
{
    switch (code) {
    case OPT_EVERY:
    case OPT_GONE_AFTER:
    case OPT_WATCH_MAX_TIME:
        return takeWatchOption(code, value, s);
    case 'i':
        s->where = value;
        break;
    case 't':
    case OPT_MAX_TIME:
    case OPT_SETTLE:
    case OPT_VERIFY_TIME:
        return takeSeconds(code, value, s);
    case 'f':
    case OPT_TABLE_OR_JSON: {
        const char* const names[] = {"table", "csv", "json"};
        for (int f = 0; f < 3; ++f) {
            if (strcmp(value, names[f]) == 0 && (code == 'f' || f != FORMAT_CSV)) {
                s->format = (TextFormat)f;
                return EXIT_OK;
            }
        }
        return usageError(code == 'f' ? "bad --format '%s' (table, csv or json)" : "bad --format '%s' (table or json)",
                          value);
    }
    case OPT_MAC:
        s->mac = value;
        break;
    case OPT_IP:
        s->ip = value;
        break;
    case OPT_GATEWAY:
        s->gateway = value;
        break;
    case OPT_MASK:
        s->mask = value;
        break;
    case OPT_NO_VERIFY:
        s->apply.noVerify = true;
        break;
    case OPT_DRY_RUN:
        s->apply.dryRun = true;
        break;
    case OPT_UNDO:
        s->undo = value;
        break;
    case OPT_BOM:
        s->bom = true;
        break;
    case OPT_JOURNAL:
        if (value[0] == '\0') {
            return usageError("%s needs a file name", "--journal");
        }
        s->journal = value;
        break;
    case OPT_NO_JOURNAL:
        s->noJournal = true;
        break;
    case OPT_SINCE:
        s->since = value;
        break;
    case OPT_UNTIL:
        s->until = value;
        break;
    case OPT_TITLE:
        s->title = value;
        break;
    case OPT_VERIFY:
        s->verify = true;
        break;
    case OPT_OLD:
        s->oldMac = value;
        break;
    case OPT_NEW:
        s->newMac = value;
        break;
    case OPT_FROM:
        s->from = value;
        break;
    default:
        break;
    }
    return EXIT_OK;
}

// The commands other than c that take the long option in arg ("--name" or "--name=value").
static std::string ownersOf(const char* arg, const Command& c, const Command* commands, int commandCount)
{
    if (strncmp(arg, "--", 2) != 0) {
        return "";
    }
    std::string name(arg + 2, strcspn(arg + 2, "="));
    std::vector<std::string> owners;
    for (int k = 0; k < commandCount; ++k) {
        for (const option* o = commands[k].options; &commands[k] != &c && o->name != NULL; ++o) {
            if (name == o->name) {
                owners.push_back(commands[k].name);
            }
        }
    }
    std::string text;   // "set", "set and apply", "set, apply and replace"
    for (size_t i = 0; i < owners.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == owners.size() ? " and " : ", ") + owners[i];
    }
    return text;
}

// What a short option means in this command: its long option's code (watch's -f is its --format,
// table or json alone).
static int shortMeaning(int code, const option* options)
{
    static const struct {
        int letter;
        const char* name;
    } LONG_NAMES[] = {{'i', "interface"}, {'t', "timeout"}, {'f', "format"}};
    for (const auto& l : LONG_NAMES) {
        for (const option* o = options; l.letter == code && o->name != NULL; ++o) {
            if (strcmp(o->name, l.name) == 0) {
                return o->val;
            }
        }
    }
    return code;
}

int readOptions(int argc, char** argv, const Command& c, const Command* commands, int commandCount, Settings* s)
{
    optind = 2;
    opterr = 0;   // told here, naming the command
    std::vector<std::string> operands;
    for (;;) {
        int code = getopt_long(argc, argv, c.shortOptions, c.options, NULL);
        if (code == -1) {
            break;
        }
        const char* arg = argv[optind - 1];
        if (code == 1) {
            operands.push_back(optarg);
        } else if (code == 'h') {
            return -1;
        } else if (code == ':') {
            return usageError("%s needs a value", arg);
        } else if (code == '?') {
            std::string owners = ownersOf(arg, c, commands, commandCount);
            if (!owners.empty()) {
                return usageError("%s belongs to %s, not %s", arg, owners.c_str(), c.name);
            }
            return usageError("%s: unknown option '%s'", c.name, arg);
        } else {
            int status = takeOption(shortMeaning(code, c.options), optarg, s);
            if (status != EXIT_OK) {
                return status;
            }
        }
    }
    if ((int)operands.size() != c.operands) {
        if (c.operands == 1) {
            return usageError("%s needs one PLAN file", c.name);
        }
        return usageError("unexpected argument '%s'", operands[0].c_str());
    }
    if (c.operands == 1) {
        s->plan = operands[0];
    }
    if (s->bom && s->format != FORMAT_CSV) {
        return usageError("--bom goes with --format csv only");
    }
    if (s->noJournal && !s->journal.empty()) {
        return usageError("--journal and --no-journal exclude each other");
    }
    if (s->verify && (!s->since.empty() || !s->until.empty() || !s->mac.empty() || s->format != FORMAT_TABLE)) {
        return usageError("--verify checks the whole journal: it takes no --since, --until, --mac or --format");
    }
    return EXIT_OK;
}
