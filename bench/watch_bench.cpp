// Watch benchmark: brevindor-batch watch --every 1 --format json over 1000 simulated controllers
// for 60 s (--seconds S to change). Ten of them are off for six of their requests each, from the
// 5th, 9th, ... 41st (silent=N-(N+5)): each must be told gone once and back once, and no other
// controller anything but present.
// Figures: the program's CPU time (user and system) over the run, as a share of one core, and its
// peak memory; for each silenced controller, how long after it fell silent its gone line reached
// the reading end of the pipe. It fell silent somewhere between the last request it answered and
// the first it did not: both are timed where the stand-in logged them, and the latency is given
// from each (the second is the worst case). Goal: gone within --gone-after asks plus 0.1 s (3.1 s)
// from the moment it fell silent, CPU under 5 % of one core.
// Run through bench/run.sh watch, which makes the private network namespace.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/measure.h"
#include "support/process.h"
#include "tools/netns_guard.h"

#ifndef BREVINDOR_BATCH_PATH
#error BREVINDOR_BATCH_PATH must name the batch program
#endif

namespace {

const int CONTROLLERS = 1000;
const int SILENCED = 10;
const int FIRST_SILENT = 5;   // the first silenced controller's first request unanswered
const int SILENT_APART = 4;   // requests between one silence's start and the next's
const int SILENT_FOR = 6;     // requests each is off
const int EVERY_S = 1;
const int GONE_AFTER = 3;
const double GONE_GOAL_S = GONE_AFTER * EVERY_S + 0.1;
const double CPU_GOAL = 0.05;   // of one core
const int64_t NS_PER_S = 1000000000;

// The k-th silenced controller (from 0) is the stand-in's controller 100 (k + 1) - 1, whose MAC
// ends in the number 100 (k + 1).
int silencedNumber(int k)
{
    return 100 * (k + 1);
}

std::string macOf(int number)
{
    char mac[32];
    (void)snprintf(mac, sizeof mac, "02.00.00.00.%02x.%02x", number >> 8, number & 0xFF);
    return mac;
}

int firstSilent(int k)
{
    return FIRST_SILENT + SILENT_APART * k;
}

// One line as it reached the pipe's reading end.
struct Line {
    int64_t ns;
    std::string text;
};

// The times at which the stand-in's log grew by a line: each line a request it received.
struct LogTimes {
    std::mutex lock;
    std::vector<int64_t> ns;
    std::atomic<bool> done{false};
};

void followLog(const std::string& path, LogTimes* times)
{
    int notify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (notify < 0 || fd < 0 || inotify_add_watch(notify, path.c_str(), IN_MODIFY) < 0) {
        fprintf(stderr, "watch_bench: can't follow %s: %s\n", path.c_str(), strerror(errno));
        return;
    }
    char buffer[65536];
    while (!times->done) {
        pollfd p = {notify, POLLIN, 0};
        (void)poll(&p, 1, 50);
        int64_t now = monotonicNs();
        while (read(notify, buffer, sizeof buffer) > 0) {
        }
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            std::lock_guard<std::mutex> hold(times->lock);
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == '\n') {
                    times->ns.push_back(now);
                }
            }
        }
    }
    close(fd);
    close(notify);
}

struct Run {
    std::vector<Line> lines;
    std::string err;
    int code = -1;
    double seconds = 0;
    double cpuSeconds = 0;
    long maxRssKb = 0;
};

// The watch with its standard output on a pipe read here, each line timed as it arrives.
Run watchFor(int seconds, const std::string& dir)
{
    Run r;
    std::vector<std::string> args = {"watch",
                                     "--interface",
                                     "127.0.0.1",
                                     "--every",
                                     std::to_string(EVERY_S),
                                     "--gone-after",
                                     std::to_string(GONE_AFTER),
                                     "--format",
                                     "json",
                                     "--max-time",
                                     std::to_string(seconds)};
    std::vector<char*> argv;
    std::string program = BREVINDOR_BATCH_PATH;
    argv.push_back(&program[0]);
    for (std::string& a : args) {
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return r;
    }
    std::string errPath = dir + "/err";
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int64_t start = monotonicNs();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err);
    std::string pending;
    char buffer[65536];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
        int64_t now = monotonicNs();
        pending.append(buffer, (size_t)n);
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            r.lines.push_back({now, pending.substr(0, end)});
            pending.erase(0, end + 1);
        }
    }
    close(out[0]);
    int status = 0;
    struct rusage used;
    memset(&used, 0, sizeof used);
    if (wait4(pid, &status, 0, &used) == pid) {
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.maxRssKb = used.ru_maxrss;
        r.cpuSeconds = (double)used.ru_utime.tv_sec + (double)used.ru_utime.tv_usec / 1e6 +
                       (double)used.ru_stime.tv_sec + (double)used.ru_stime.tv_usec / 1e6;
    }
    r.seconds = (double)(monotonicNs() - start) / NS_PER_S;
    r.err = readFile(errPath);
    return r;
}

// The first line of this event for this MAC, or NULL.
const Line* eventLine(const Run& r, const char* event, const std::string& mac)
{
    std::string kind = std::string("\"event\":\"") + event + "\"";
    std::string who = "\"mac\":\"" + mac + "\"";
    for (const Line& line : r.lines) {
        if (line.text.find(kind) != std::string::npos && line.text.find(who) != std::string::npos) {
            return &line;
        }
    }
    return nullptr;
}

size_t eventCount(const Run& r, const char* event)
{
    size_t n = 0;
    for (const Line& line : r.lines) {
        n += line.text.find(std::string("\"event\":\"") + event + "\"") != std::string::npos ? 1 : 0;
    }
    return n;
}

int usage()
{
    fprintf(stderr, "usage: watch_bench [--seconds S]   (S from 50 to 3600; default 60)\n");
    return 2;
}

}   // namespace

int main(int argc, char** argv)
{
    int seconds = 60;
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        if (strcmp(argv[i], "--seconds") != 0 || i + 1 >= argc) {
            return usage();
        }
        seconds = (int)strtol(argv[++i], &end, 10);
        if (*end != '\0' || seconds < 50 || seconds > 3600) {
            return usage();
        }
    }
    char why[256];
    if (!inPrivateNetns(why, sizeof why)) {
        fprintf(stderr, "watch_bench: %s\n", why);
        return 2;
    }
    (void)signal(SIGPIPE, SIG_IGN);
    printf("watch benchmark: %s, %d controllers, --every %d --gone-after %d for %d s\n\n", BREVINDOR_BATCH_PATH,
           CONTROLLERS, EVERY_S, GONE_AFTER, seconds);
    fflush(stdout);

    std::vector<std::string> standInArgs;
    for (int c = 0; c < CONTROLLERS; ++c) {
        std::string keys;
        for (int k = 0; k < SILENCED; ++k) {
            if (c + 1 == silencedNumber(k)) {
                keys =
                    "silent=" + std::to_string(firstSilent(k)) + "-" + std::to_string(firstSilent(k) + SILENT_FOR - 1);
            }
        }
        standInArgs.push_back("--controller");
        standInArgs.push_back(keys);
    }
    std::string dir = makeTempDir();
    StandIn standIn;
    if (!startStandIn(standIn, standInArgs, dir)) {
        fprintf(stderr, "watch_bench: the stand-in did not start\n");
        return 1;
    }
    LogTimes requests;
    std::thread follower(followLog, standIn.logPath, &requests);
    UdpCounters before = readUdpCounters();
    Run r = watchFor(seconds, dir);
    UdpCounters after = readUdpCounters();
    requests.done = true;
    follower.join();
    stopStandIn(standIn);
    std::filesystem::remove_all(dir);

    bool ok = r.code == 0;
    printf("exit %d in %.2f s; %zu asks logged by the stand-in; kernel drops RcvbufErrors %lld, InErrors %lld\n",
           r.code, r.seconds, requests.ns.size(), after.rcvbufErrors - before.rcvbufErrors,
           after.inErrors - before.inErrors);
    printf("standard error: %s", r.err.c_str());
    size_t present = eventCount(r, "present"), gone = eventCount(r, "gone"), back = eventCount(r, "back");
    bool exact = present == (size_t)CONTROLLERS && gone == (size_t)SILENCED && back == (size_t)SILENCED &&
                 r.lines.size() == present + gone + back;
    printf("events: %zu present, %zu gone, %zu back, %zu in all (expected %d, %d, %d and nothing else)  %s\n\n",
           present, gone, back, r.lines.size(), CONTROLLERS, SILENCED, SILENCED, exact ? "PASS" : "MISS");
    ok = ok && exact;

    printf("gone, from the first request unanswered / from the last answered (goal %.1f s); back, from the first "
           "answered again:\n",
           GONE_GOAL_S);
    double worst = 0;
    std::vector<double> fromFirst, fromLast, backs;
    for (int k = 0; k < SILENCED; ++k) {
        std::string mac = macOf(silencedNumber(k));
        const Line* goneLine = eventLine(r, "gone", mac);
        const Line* backLine = eventLine(r, "back", mac);
        size_t first = (size_t)firstSilent(k);   // its request number, from 1
        size_t again = first + SILENT_FOR;
        if (goneLine == nullptr || backLine == nullptr || requests.ns.size() < again) {
            printf("  %s: %s\n", mac.c_str(), goneLine == nullptr ? "no gone" : "no back");
            ok = false;
            continue;
        }
        double a = (double)(goneLine->ns - requests.ns[first - 1]) / NS_PER_S;
        double b = (double)(goneLine->ns - requests.ns[first - 2]) / NS_PER_S;
        double c = (double)(backLine->ns - requests.ns[again - 1]) / NS_PER_S;
        fromFirst.push_back(a);
        fromLast.push_back(b);
        backs.push_back(c);
        worst = std::max(worst, b);
        printf("  %s silent from request %2zu: gone %.3f s / %.3f s, back %.3f s\n", mac.c_str(), first, a, b, c);
    }
    bool goneOk = !fromLast.empty() && worst <= GONE_GOAL_S;
    ok = ok && goneOk;
    if (!fromLast.empty()) {
        printf("gone: median %.3f s / %.3f s, worst %.3f s from the last answered request (goal %.1f s)  %s\n",
               median(fromFirst), median(fromLast), worst, GONE_GOAL_S, goneOk ? "PASS" : "MISS");
        printf("back: median %.3f s, max %.3f s after the request answered\n", median(backs),
               *std::max_element(backs.begin(), backs.end()));
    }
    double cpu = r.seconds > 0 ? r.cpuSeconds / r.seconds : 1;
    bool cpuOk = cpu < CPU_GOAL;
    ok = ok && cpuOk;
    printf("CPU: %.2f s in %.1f s, %.2f %% of one core (goal under %.0f %%)  %s\n", r.cpuSeconds, r.seconds, cpu * 100,
           CPU_GOAL * 100, cpuOk ? "PASS" : "MISS");
    printf("peak RSS: %ld KB (%.2f MB)\n", r.maxRssKb, (double)r.maxRssKb / 1024.0);
    return ok ? 0 : 1;
}
