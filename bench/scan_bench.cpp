// Scan benchmark: the tool in read mode against N simulated controllers, with a 1 s time-out.
// Prints per run: responses sent and shown, kernel receive drops, the time from the last answer to
// the tool's exit beyond the time-out, and the tool's peak resident memory.
// Run through bench/run.sh scan, which makes the private network namespace.

#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/measure.h"
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
    (void)signal(SIGPIPE, SIG_IGN);

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
