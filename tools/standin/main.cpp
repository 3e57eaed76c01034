// Controller stand-in: answers scan requests on the multicast group as a set of simulated
// controllers, each from its own loopback source address. Runs only in a private network namespace.
// This file: the command line and the main loop; the controllers are in controller.h, the socket in
// group_socket.h, what a datagram starts in responder.h.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/messages.h"
#include "tools/netns_guard.h"
#include "tools/standin/controller.h"
#include "tools/standin/group_socket.h"
#include "tools/standin/responder.h"

#ifndef BREVINDOR_VERSION
#error BREVINDOR_VERSION must be the project version
#endif

namespace {

const int EXIT_USAGE = 2;

const double DEFAULT_LIFETIME_S = 60;
const double MAX_LIFETIME_S = 86400;
const char DEFAULT_INTERFACE[] = "127.0.0.1";
const size_t MAX_DATAGRAM = 65536;
const int64_t NS_PER_S = 1000000000;
const int PID_SHIFT = 32;   // the process id's place in a seed taken from the clock

volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int)
{
    stopRequested = 1;
}

// printf-style, so the compiler checks each call's format.
[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char* format, ...)   // NOLINT(cert-dcl50-cpp)
{
    va_list args;
    va_start(args, format);
    fprintf(stderr, "%s: ", PROGRAM);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    exit(EXIT_USAGE);
}

void printUsage(FILE* out)
{
    fprintf(out,
            "usage: %s [--interface ADDR]... [--controller KEYS]... [--many N] [--log FILE]"
            " [--lifetime SECONDS] [--seed N]\n"
            "\n"
            "Behaves like a set of controllers on group %s, UDP port %u. Runs only inside a\n"
            "private network namespace (unshare -n): one with nothing but loopback and links\n"
            "named brv* whose other ends are brv* links in it, or in a second namespace that is\n"
            "not the machine's own and holds nothing but loopback and brv* links back to it\n"
            "or within it. Anything it can't check is refused.\n"
            "\n"
            "  --interface ADDR    local IPv4 address whose interface joins the group"
            " (default %s);\n"
            "                      repeatable, to join on several interfaces\n"
            "  --controller KEYS   add one controller; KEYS is comma-separated key=value pairs,\n"
            "                      every key optional; repeatable\n"
            "  --many N            add N controllers with the defaults\n"
            "  --log FILE          append one line per received datagram:\n"
            "                      <ip>:<port> <length> <bytes as lower-case hex>\n"
            "  --lifetime SECONDS  exit after this long (default %g); SIGTERM/SIGINT also end it\n"
            "  --seed N            seed of the losses (loss=), 0..2^64-1, to repeat them\n"
            "                      (default: taken from the clock)\n"
            "  --version           print the version and exit\n"
            "\n"
            "Prints 'ready' once the group is joined and 'sent <N> last_send_ns <T>' on exit\n"
            "(T: CLOCK_MONOTONIC just before the last successful send, 0 if none).\n"
            "\n"
            "KEYS and the defaults of the k-th controller (k from 0, in command-line order):\n",
            PROGRAM, SCAN_GROUP, SCAN_PORT, DEFAULT_INTERFACE, DEFAULT_LIFETIME_S);
    printKeys(out);
    fputs("A setting message whose MAC matches changes ip, gw and mask for later answers\n"
          "(unless settings=ignore; setdelay=MS later).\n"
          "behind=NAME: the controller hears only requests and settings that arrive on that\n"
          "interface and answers out of it, from the link's address or from= (which must be\n"
          "on that link); join the group there with --interface.\n"
          "loss=P, 0 <= P <= 1: each request, and each setting whose MAC matches, is lost on\n"
          "the way in with chance P, and each answer on the way out with chance P, drawn per\n"
          "controller and datagram; with the same --seed, keys and datagrams the same ones are\n"
          "lost. Lost answers are not counted in 'sent'. --log still logs every datagram\n"
          "that reached the socket, lost ones too.\n"
          "WHEN: N, the controller's N-th request (from 1; every request that reaches its\n"
          "link counts), or Nms, N milliseconds after 'ready'. FROM-TO: two of them of one\n"
          "kind; requests FROM to TO, or from FROM ms up to TO ms; TO left out: for ever.\n"
          "A controller that is off (start=, silent=) takes no request and no setting: it\n"
          "answers nothing, loses nothing, and is on again as it was (a power cycle).\n"
          "change=WHEN: from then on it reports the values of newip=, newgw=, newmask=,\n"
          "newname= (those given) in place of its own, once: a setting later wins.\n",
          out);
}

// ---- the command line ----

struct Options {
    std::vector<in_addr> interfaces;
    std::vector<Controller> controllers;
    std::string logPath;
    double lifetimeS = DEFAULT_LIFETIME_S;
    bool seeded = false;
    uint64_t seed = 0;
};

void addController(Options* o, const std::string& keys)
{
    unsigned long k = o->controllers.size();
    if (k >= MAX_CONTROLLERS) {
        fail("at most %lu controllers", MAX_CONTROLLERS);
    }
    Controller c = defaultController(k);
    std::string why;
    if (!applyKeys(&c, keys, k, &why)) {
        fail("%s", why.c_str());
    }
    o->controllers.push_back(c);
}

// Decimal digits only, up to the largest 64-bit number.
bool parseDecimal(const std::string& text, uint64_t* number)
{
    const uint64_t DECIMAL = 10;
    uint64_t value = 0;
    for (char c : text) {
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (c < '0' || c > '9' || value > (UINT64_MAX - digit) / DECIMAL) {
            return false;
        }
        value = value * DECIMAL + digit;
    }
    *number = value;
    return !text.empty();
}

Options parseArguments(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            exit(0);
        }
        if (arg == "--version") {
            printf("%s %s\n", PROGRAM, BREVINDOR_VERSION);
            exit(0);
        }
        std::string value;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        } else if (arg == "--interface" || arg == "--controller" || arg == "--many" || arg == "--log" ||
                   arg == "--lifetime" || arg == "--seed") {
            if (i + 1 >= argc) {
                fail("%s needs a value", arg.c_str());
            }
            value = argv[++i];
        } else {
            printUsage(stderr);
            exit(EXIT_USAGE);
        }

        if (arg == "--interface") {
            in_addr address;
            if (inet_pton(AF_INET, value.c_str(), &address) != 1) {
                fail("bad --interface address '%s'", value.c_str());
            }
            o.interfaces.push_back(address);
        } else if (arg == "--controller") {
            addController(&o, value);
        } else if (arg == "--many") {
            uint64_t n;
            if (!parseDecimal(value, &n) || n > MAX_CONTROLLERS) {
                fail("bad --many count '%s' (0..%lu)", value.c_str(), MAX_CONTROLLERS);
            }
            for (uint64_t j = 0; j < n; ++j) {
                addController(&o, "");
            }
        } else if (arg == "--log") {
            if (value.empty()) {
                fail("--log needs a file name");
            }
            o.logPath = value;
        } else if (arg == "--lifetime") {
            char* end = nullptr;
            double seconds = strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > MAX_LIFETIME_S) {
                fail("bad --lifetime '%s' (0..%g seconds)", value.c_str(), MAX_LIFETIME_S);
            }
            o.lifetimeS = seconds;
        } else if (arg == "--seed") {
            if (!parseDecimal(value, &o.seed)) {
                fail("bad --seed '%s' (0..%llu)", value.c_str(), static_cast<unsigned long long>(UINT64_MAX));
            }
            o.seeded = true;
        } else {
            printUsage(stderr);
            exit(EXIT_USAGE);
        }
    }
    if (o.interfaces.empty()) {
        in_addr address;
        inet_pton(AF_INET, DEFAULT_INTERFACE, &address);
        o.interfaces.push_back(address);
    }
    return o;
}

uint64_t seedFromClock()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (static_cast<uint64_t>(ts.tv_sec) * NS_PER_S + static_cast<uint64_t>(ts.tv_nsec)) ^
           (static_cast<uint64_t>(getpid()) << PID_SHIFT);
}

}   // namespace

int main(int argc, char** argv)
{
    Options options = parseArguments(argc, argv);

    char why[256];
    if (!inPrivateNetns(why, sizeof why)) {
        fprintf(stderr, "%s: refusing to start: %s\n", PROGRAM, why);
        return EXIT_USAGE;
    }

    StandIn s;
    s.controllers.swap(options.controllers);
    seedLosses(&s.controllers, options.seeded ? options.seed : seedFromClock());
    if (!options.logPath.empty()) {
        s.log = fopen(options.logPath.c_str(), "a");
        if (s.log == nullptr) {
            fail("can't open log %s: %s", options.logPath.c_str(), strerror(errno));
        }
    }

    // Stop signals stay blocked except while waiting in ppoll, so none is missed.
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::string socketWhy;
    s.fd = openGroupSocket(options.interfaces, &socketWhy);
    if (s.fd < 0) {
        fprintf(stderr, "%s: %s\n", PROGRAM, socketWhy.c_str());
        if (s.log != nullptr) {
            fclose(s.log);
        }
        return 1;
    }
    s.startNs = monotonicNs();
    fputs("ready\n", stdout);
    fflush(stdout);

    int64_t deadline = monotonicNs() + static_cast<int64_t>(llround(options.lifetimeS * NS_PER_S));
    std::vector<unsigned char> buffer(MAX_DATAGRAM);
    while (stopRequested == 0) {
        sendDue(&s);
        int64_t now = monotonicNs();
        if (now >= deadline) {
            break;
        }
        int64_t wakeAt = nextWake(s, deadline);
        int64_t wait = wakeAt > now ? wakeAt - now : 0;
        timespec timeout = {static_cast<time_t>(wait / NS_PER_S), static_cast<long>(wait % NS_PER_S)};
        pollfd pfd = {s.fd, POLLIN, 0};
        int ready = ppoll(&pfd, 1, &timeout, &waitMask);
        if (ready < 0) {
            if (errno != EINTR) {
                fprintf(stderr, "%s: poll: %s\n", PROGRAM, strerror(errno));
                break;
            }
            continue;
        }
        if (ready > 0 && (pfd.revents & POLLIN) != 0) {
            drainSocket(&s, &buffer);
        }
    }

    close(s.fd);
    if (s.log != nullptr) {
        fclose(s.log);
    }
    printf("sent %llu last_send_ns %lld\n", s.sent, static_cast<long long>(s.lastSendNs));
    fflush(stdout);
    return 0;
}
