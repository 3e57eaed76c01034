// Scan benchmark: the tool in read mode against N simulated controllers, with a 1 s time-out.
// Prints per run: responses sent and shown, kernel receive drops, the time from the last answer to
// the tool's exit beyond the time-out, and the tool's peak resident memory.
// Run through bench/run.sh scan, which makes the private network namespace.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/udp_counters.h"
#include "support/process.h"
#include "tools/netns_guard.h"

#ifndef BREVINDOR_PATH
#error BREVINDOR_PATH must name the tool
#endif

namespace {

const int TIMEOUT_S = 1;
const int TABLE_SIZE = 100;   // responses the tool records and shows
const double TARGET_BEYOND_MS = 5;
const long TARGET_RSS_KB = 4L * 1024;
const int TOOL_DEADLINE_S = 60;   // a tool still running after this is killed

int64_t monotonicNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

volatile sig_atomic_t g_child = 0;

void onAlarm(int)
{
    if (g_child > 0) {
        kill((pid_t)g_child, SIGKILL);
    }
}

struct Exit {
    int code = -1;   // -1 when it did not exit by itself
    long maxRssKb = 0;
    int64_t exitNs = 0;   // CLOCK_MONOTONIC right after it was reaped
    bool killed = false;
};

// Runs program in dir with stdin, stdout and stderr from and to files.
Exit runToFiles(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                const std::string& inPath, const std::string& outPath, const std::string& errPath)
{
    Exit e;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    int in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0) {
        return e;
    }
    // fork, not vfork or posix_spawn: the child's peak then starts from its copied pages only,
    // not from all of ours (the measurement floor is printed at start).
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in);
    close(out);
    close(err);
    if (pid < 0) {
        return e;
    }
    g_child = pid;
    alarm(TOOL_DEADLINE_S);
    int status = 0;
    struct rusage resources;
    memset(&resources, 0, sizeof resources);
    pid_t got;
    while ((got = wait4(pid, &status, 0, &resources)) < 0 && errno == EINTR) {
        e.killed = true;
    }
    e.exitNs = monotonicNs();
    alarm(0);
    g_child = 0;
    if (got == pid) {
        e.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        e.maxRssKb = resources.ru_maxrss;
    }
    return e;
}

size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

struct Run {
    long sent = -1;
    size_t shown = 0;
    long long drops = -1;
    long long inErrors = -1;
    double beyondMs = 0;
    long rssKb = 0;
    int exitCode = -1;
    bool countLine = false;
    bool ok = false;   // the tool and the stand-in behaved; the figures mean something
};

Run runOnce(int controllers)
{
    Run r;
    std::string dir = makeTempDir();
    {
        std::ofstream(dir + "/stdin") << "1\n";
    }
    UdpCounters before = readUdpCounters();
    StandIn standIn;
    if (!startStandIn(standIn, {"--many", std::to_string(controllers)}, dir)) {
        fprintf(stderr, "scan_bench: the stand-in did not start\n");
        stopStandIn(standIn);
        std::filesystem::remove_all(dir);
        return r;
    }
    Exit e = runToFiles(BREVINDOR_PATH, {"-R", "-T", std::to_string(TIMEOUT_S)}, dir, dir + "/stdin", dir + "/stdout",
                        dir + "/stderr");
    stopStandIn(standIn);
    UdpCounters after = readUdpCounters();

    long long lastSendNs = 0;
    size_t at = standIn.lastWords.find("sent ");
    bool parsed = false;
    if (at != std::string::npos) {
        // "sent N last_send_ns T"
        const char* text = standIn.lastWords.c_str() + at + strlen("sent ");
        char* end = nullptr;
        r.sent = strtol(text, &end, 10);
        const char* label = " last_send_ns ";
        if (end != text && strncmp(end, label, strlen(label)) == 0) {
            text = end + strlen(label);
            lastSendNs = strtoll(text, &end, 10);
            parsed = end != text;
        }
    }
    std::string out = readFile(dir + "/stdout");
    r.shown = countOf(out, ". response is received from the");
    r.countLine = out.find("online controller") != std::string::npos;
    r.exitCode = e.code;
    r.rssKb = e.maxRssKb;
    if (before.rcvbufErrors >= 0 && after.rcvbufErrors >= 0) {
        r.drops = after.rcvbufErrors - before.rcvbufErrors;
        r.inErrors = after.inErrors - before.inErrors;
    }
    r.beyondMs = (double)(e.exitNs - lastSendNs - (int64_t)TIMEOUT_S * 1000000000) / 1e6;
    r.ok = parsed && lastSendNs > 0 && !e.killed && r.exitCode == 255 && r.countLine;
    if (!r.ok) {
        std::string err = readFile(dir + "/stderr");
        fprintf(stderr, "scan_bench: fault: stand-in said '%s', tool exit %d%s, count line %s; stderr: %.300s\n",
                standIn.lastWords.c_str(), e.code, e.killed ? " (killed)" : "", r.countLine ? "present" : "missing",
                err.c_str());
    }
    std::filesystem::remove_all(dir);
    return r;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n == 0 ? 0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

const char* verdict(bool pass)
{
    return pass ? "PASS" : "MISS";
}

// Peak memory a trivial program shows when started the same way: the floor of the RSS figures.
long measurementFloorKb()
{
    std::string dir = makeTempDir();
    {
        std::ofstream(dir + "/stdin") << "";
    }
    Exit e = runToFiles("/bin/true", {}, dir, dir + "/stdin", dir + "/stdout", dir + "/stderr");
    std::filesystem::remove_all(dir);
    return e.maxRssKb;
}

int usage()
{
    fprintf(stderr, "usage: scan_bench [--repeat R]\n");
    return 2;
}

}   // namespace

int main(int argc, char** argv)
{
    int repeat = 5;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            char* end = nullptr;
            long value = strtol(argv[++i], &end, 10);
            repeat = (int)value;
            if (*end != '\0' || value < 1 || value > 1000) {
                return usage();
            }
        } else {
            return usage();
        }
    }
    char why[256];
    if (!inPrivateNetns(why, sizeof why)) {
        fprintf(stderr, "scan_bench: %s\n", why);
        return 2;
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onAlarm;
    sigaction(SIGALRM, &sa, nullptr);   // no SA_RESTART: wait4 returns to note the kill
    sa.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &sa, nullptr);

    printf("scan benchmark: %s -R -T %d, %d runs per controller count\n", BREVINDOR_PATH, TIMEOUT_S, repeat);
    printf("RSS measurement floor (/bin/true started the same way): %ld KB\n\n", measurementFloorKb());
    fflush(stdout);

    bool allOk = true;
    for (int controllers : {100, 1000}) {
        std::vector<double> beyond;
        size_t minShown = (size_t)-1;
        long maxRss = 0;
        long long drops = 0, inErrors = 0;
        int good = 0;
        for (int k = 1; k <= repeat; ++k) {
            Run r = runOnce(controllers);
            printf("N=%-4d run %d: sent %4ld  shown %3zu  drops %lld (InErrors %lld)  beyond time-out %7.2f ms"
                   "  peak RSS %ld KB (%.2f MB)  exit %d%s\n",
                   controllers, k, r.sent, r.shown, r.drops, r.inErrors, r.beyondMs, r.rssKb, (double)r.rssKb / 1024.0,
                   r.exitCode, r.ok ? "" : "  FAULT");
            fflush(stdout);
            allOk = allOk && r.ok;
            if (!r.ok) {
                continue;
            }
            ++good;
            beyond.push_back(r.beyondMs);
            minShown = std::min(minShown, r.shown);
            maxRss = std::max(maxRss, r.rssKb);
            drops += std::max(r.drops, 0LL);
            inErrors += std::max(r.inErrors, 0LL);
        }
        if (good == 0) {
            printf("N=%d: no good run\n\n", controllers);
            continue;
        }
        double med = median(beyond);
        double worst = *std::max_element(beyond.begin(), beyond.end());
        size_t expected = (size_t)std::min(controllers, TABLE_SIZE);
        printf("N=%d summary (%d good runs): beyond time-out median %.2f ms, max %.2f ms; shown min %zu;"
               " peak RSS max %ld KB (%.2f MB); drops total %lld (InErrors %lld)\n",
               controllers, good, med, worst, minShown, maxRss, (double)maxRss / 1024.0, drops, inErrors);
        if (controllers == TABLE_SIZE) {
            printf("  targets: %zu of %zu shown %s; < %.0f ms beyond the time-out (median) %s;"
                   " < %ld MB peak memory %s\n",
                   minShown, expected, verdict(minShown == expected), TARGET_BEYOND_MS, verdict(med < TARGET_BEYOND_MS),
                   TARGET_RSS_KB / 1024, verdict(maxRss < TARGET_RSS_KB));
        } else {
            printf("  (report only: the tool shows at most %d)\n", TABLE_SIZE);
        }
        printf("\n");
        fflush(stdout);
    }
    return allOk ? 0 : 1;
}
