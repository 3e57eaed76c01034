#include "web/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commission/limits.h"
#include "protocol/address.h"
#include "report/input_text.h"

#ifndef BREVINDOR_VERSION
#error BREVINDOR_VERSION must give the version of the project
#endif

const char WEB_PROGRAM[] = "brevindor-web";

static void printWebUsage(FILE* out)
{
    fprintf(out,
            "usage: %s [--interface WHERE] [--timeout S] [--verify-time S] [--port N]\n"
            "                     [--listen ADDR] [--undo-dir DIR] [--no-browser]\n"
            "       %s --help | --version\n"
            "\n"
            "Serves the commissioning page on http://127.0.0.1:PORT/ (an ephemeral port unless\n"
            "--port is given) and prints its address with the token it needs. WHERE: a local IPv4\n"
            "address, an interface name, or 'all'. --timeout: the scan ends this long after the\n"
            "last answer (default 2 s). --verify-time: how long to wait for a set controller to\n"
            "report its new values (default 10 s). --listen ADDR: serve on this address instead\n"
            "of 127.0.0.1 (the token is still required). --undo-dir: where the undo file of each\n"
            "apply goes (default: brevindor/undo in the user's state folder, where the journal is).\n"
            "--no-browser: do not open the page.\n"
            "Ctrl-C ends it; an apply in progress stops as in brevindor-batch, its summary so far\n"
            "on standard error and its undo file kept.\n",
            WEB_PROGRAM, WEB_PROGRAM);
}

static int webUsageError(const std::string& what, const char* value)
{
    fprintf(stderr, "%s: %s '%s'\n", WEB_PROGRAM, what.c_str(), value);
    fprintf(stderr, "Try '%s --help'.\n", WEB_PROGRAM);
    return EXIT_USAGE;
}

static bool readNumber(const char* text, double low, double high, double* value)
{
    char* end = NULL;
    double v = strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= low && v <= high)) {
        return false;
    }
    *value = v;
    return true;
}

int readWebOptions(int argc, char** argv, WebSettings* s, bool* answered)
{
    *answered = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            printWebUsage(stdout);
            *answered = true;
            return EXIT_OK;
        }
        if (strcmp(a, "--version") == 0) {
            printf("%s %s\n", WEB_PROGRAM, BREVINDOR_VERSION);
            *answered = true;
            return EXIT_OK;
        }
        if (strcmp(a, "--no-browser") == 0) {
            s->browser = false;
            continue;
        }
        static const char* const TAKING[] = {"--interface", "--timeout", "--verify-time",
                                             "--port",      "--listen",  "--undo-dir"};
        size_t k = 0;
        while (k < sizeof TAKING / sizeof TAKING[0] && strcmp(a, TAKING[k]) != 0) {
            ++k;
        }
        if (k == sizeof TAKING / sizeof TAKING[0]) {
            return webUsageError("unknown option", a);
        }
        if (i + 1 >= argc) {
            return webUsageError("a value is needed after", a);
        }
        const char* v = argv[++i];
        double number = 0;
        unsigned char address[IPV4_LEN];
        switch (k) {
        case 0:
            s->where = v;
            break;
        case 1:
            if (!readSeconds(v, true, &s->apply.scan.quiet)) {
                return webUsageError("bad --timeout (" + secondsRangeText(true) + ")", v);
            }
            break;
        case 2:
            if (!readSeconds(v, true, &s->apply.verifyTime)) {
                return webUsageError("bad --verify-time (" + secondsRangeText(true) + ")", v);
            }
            break;
        case 3:
            if (!readNumber(v, 1, 65535, &number) || number != (int)number) {
                return webUsageError("bad --port (1 to 65535)", v);
            }
            s->port = (int)number;
            break;
        case 4:
            if (!parseIpv4(v, address)) {
                return webUsageError("bad --listen (an IPv4 address)", v);
            }
            s->listen = v;
            break;
        default:
            s->undoDir = v;
            break;
        }
    }
    return EXIT_OK;
}
