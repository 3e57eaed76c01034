// Batch benchmark: brevindor-batch against simulated controllers, with its default times
// (quiet 2 s, verify 10 s) unless a case says otherwise.
// 1. apply under loss: a 100-row plan on 100 controllers losing 10% of datagrams each way, one run
//    per seed; a run is good when every row is verified (exit 0). Target: 19 of 20 runs.
// 2. scan under loss: 100 controllers losing 5% each way; a run is good when all 100 are found.
//    Target: 19 of 20 runs.
// 3. apply at scale: a 1000-row plan on 1000 controllers answering at once, every row verified in
//    under 1.5 s at the default settle time, and in under 1 s with --settle 0.3 (median of the
//    runs); peak memory and the kernel's drops.
// 4. scan of 1000 controllers with --timeout 1: found, time, drops, peak memory (report only).
// 5. clones: set on a MAC that a second device answers for too, late by 0.8 s, losing 10% of
//    datagrams each way, or both; one run a seed. A run is good when nothing was sent (exit 5).
//    Target: every run late, 19 of 20 under loss.
// 6. a flood: responses with ever-new MACs without a pause, and scan --max-time 2 --format csv:
//    the rows and the time beyond --max-time (report only).
// Run through bench/run.sh apply, which makes the private network namespace.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/measure.h"
#include "protocol/messages.h"
#include "support/process.h"
#include "support/response.h"
#include "tools/netns_guard.h"

#ifndef BREVINDOR_BATCH_PATH
#error BREVINDOR_BATCH_PATH must name the batch program
#endif

namespace {

const int LOSSY_CONTROLLERS = 100;
const char* const APPLY_LOSS = "0.1";
const char* const SCAN_LOSS = "0.05";
const int GOOD_RUNS_OF_20 = 19;
const int MANY_CONTROLLERS = 1000;
const double MANY_LIMIT_S = 1.5;         // at the default settle time
const double MANY_SHORT_LIMIT_S = 1.0;   // with --settle 0.3
const int SCAN_TIMEOUT_S = 1;
const double FLOOD_MAX_TIME_S = 2;

// The batch program measured: the one built beside the benchmark, or --batch PATH (to compare
// another build's).
const char* batchPath = BREVINDOR_BATCH_PATH;

struct Result {
    std::string out;
    int exitCode = -1;
    double seconds = 0;
    long maxRssKb = 0;
    long long drops = 0;      // RcvbufErrors of this namespace during the run
    long long inErrors = 0;   // InErrors, likewise
};

// Runs the batch program in dir with its output into a file: time, peak memory, kernel drops.
Result runBatch(const std::vector<std::string>& args, const std::string& dir)
{
    Result r;
    UdpCounters before = readUdpCounters();
    int64_t start = monotonicNs();
    Exit e = runToFiles(batchPath, args, dir, "/dev/null", dir + "/out", dir + "/err");
    UdpCounters after = readUdpCounters();
    r.seconds = (double)(e.exitNs - start) / 1e9;
    r.exitCode = e.code;
    r.maxRssKb = e.maxRssKb;
    r.drops = after.rcvbufErrors - before.rcvbufErrors;
    r.inErrors = after.inErrors - before.inErrors;
    r.out = readFile(dir + "/out");
    return r;
}

// A plan moving the n default controllers of the stand-in (MAC 02.00.00.00.HI.LO with
// HI.LO = k + 1) to 10.20.HI.LO/16, gateway 10.20.255.254.
void writePlan(const std::string& path, int n)
{
    std::string plan = "mac,ip,gateway,mask\n";
    for (int k = 1; k <= n; ++k) {
        char row[80];
        (void)snprintf(row, sizeof row, "02:00:00:00:%02x:%02x,10.20.%d.%d,10.20.255.254,255.255.0.0\n", k >> 8,
                       k & 0xFF, k >> 8, k & 0xFF);
        plan += row;
    }
    std::ofstream(path) << plan;
}

// n controllers with the defaults, each losing datagrams with chance loss, at seed.
std::vector<std::string> lossyStandIn(int n, const char* loss, int seed)
{
    std::vector<std::string> args;
    for (int k = 0; k < n; ++k) {
        args.push_back("--controller");
        args.push_back(std::string("loss=") + loss);
    }
    args.push_back("--seed");
    args.push_back(std::to_string(seed));
    return args;
}

// One run of the batch program against a stand-in of its own, with a plan.csv of planRows rows
// (none for 0); false when the stand-in did not start.
bool runAgainst(const std::vector<std::string>& standInArgs, const std::vector<std::string>& args, int planRows,
                Result* r)
{
    std::string dir = makeTempDir();
    if (planRows > 0) {
        writePlan(dir + "/plan.csv", planRows);
    }
    StandIn standIn;
    bool started = startStandIn(standIn, standInArgs, dir);
    if (started) {
        *r = runBatch(args, dir);
    } else {
        fprintf(stderr, "apply_bench: the stand-in did not start\n");
    }
    stopStandIn(standIn);
    std::filesystem::remove_all(dir);
    return started;
}

size_t rowsIn(const std::string& csv)
{
    size_t lines = countOf(csv, "\r\n");
    return lines > 0 ? lines - 1 : 0;
}

const char* verdict(bool pass)
{
    return pass ? "PASS" : "MISS";
}

// Cases 1 and 2: one run a seed, 1..runs; good runs against 19 of 20.
bool lossy(const char* name, const char* loss, int runs)
{
    bool apply = strcmp(name, "apply") == 0;
    std::vector<double> times;
    int good = 0;
    for (int seed = 1; seed <= runs; ++seed) {
        Result r;
        std::vector<std::string> args = {name};
        if (apply) {
            args.push_back("plan.csv");
        }
        args.insert(args.end(), {"--interface", "127.0.0.1", "--format", "csv"});
        if (!runAgainst(lossyStandIn(LOSSY_CONTROLLERS, loss, seed), args, apply ? LOSSY_CONTROLLERS : 0, &r)) {
            return false;
        }
        size_t rows = apply ? countOf(r.out, ",verified,") : rowsIn(r.out);
        bool ok = r.exitCode == 0 && rows == (size_t)LOSSY_CONTROLLERS;
        good += ok ? 1 : 0;
        times.push_back(r.seconds);
        printf("%s, loss %s each way, seed %2d: %3zu of %d %s in %.2f s, exit %d%s\n", name, loss, seed, rows,
               LOSSY_CONTROLLERS, apply ? "verified" : "found", r.seconds, r.exitCode, ok ? "" : "  (short)");
        fflush(stdout);
    }
    int needed = (GOOD_RUNS_OF_20 * runs + 19) / 20;
    bool pass = good >= needed;
    printf("%s, loss %s each way: %d of %d runs complete (target %d), median %.2f s, max %.2f s  %s\n\n", name, loss,
           good, runs, needed, median(times), *std::max_element(times.begin(), times.end()), verdict(pass));
    return pass;
}

// Case 3: the 1000-row apply, repeat runs, with these further arguments and this target.
bool applyMany(int repeat, const std::vector<std::string>& more, double limit)
{
    std::string how = more.empty() ? "defaults" : more[0] + " " + more[1];
    std::vector<double> times;
    bool allVerified = true;
    long maxRss = 0;
    long long drops = 0, inErrors = 0;
    for (int k = 1; k <= repeat; ++k) {
        Result r;
        std::vector<std::string> args = {"apply", "plan.csv", "--interface", "127.0.0.1", "--format", "csv"};
        args.insert(args.end(), more.begin(), more.end());
        if (!runAgainst({"--many", std::to_string(MANY_CONTROLLERS)}, args, MANY_CONTROLLERS, &r)) {
            return false;
        }
        size_t verified = countOf(r.out, ",verified,");
        bool ok = r.exitCode == 0 && verified == (size_t)MANY_CONTROLLERS;
        allVerified = allVerified && ok;
        times.push_back(r.seconds);
        maxRss = std::max(maxRss, r.maxRssKb);
        drops += r.drops;
        inErrors += r.inErrors;
        printf("apply, %d rows on %d controllers (%s), run %d: %zu verified in %.3f s, exit %d, drops %lld"
               " (InErrors %lld), peak RSS %ld KB%s\n",
               MANY_CONTROLLERS, MANY_CONTROLLERS, how.c_str(), k, verified, r.seconds, r.exitCode, r.drops, r.inErrors,
               r.maxRssKb, ok ? "" : "  (short)");
        fflush(stdout);
    }
    double med = median(times);
    bool pass = allVerified && med < limit;
    printf("apply, %d rows (%s): median %.3f s (target < %.1f s), max %.3f s, every row verified in every run: %s;"
           " peak RSS max %ld KB (%.2f MB); drops total %lld (InErrors %lld)  %s\n\n",
           MANY_CONTROLLERS, how.c_str(), med, limit, *std::max_element(times.begin(), times.end()),
           allVerified ? "yes" : "no", maxRss, (double)maxRss / 1024.0, drops, inErrors, verdict(pass));
    return pass;
}

// Case 4: the scan of 1000, for the record.
bool scanMany()
{
    Result r;
    if (!runAgainst(
            {"--many", std::to_string(MANY_CONTROLLERS)},
            {"scan", "--interface", "127.0.0.1", "--timeout", std::to_string(SCAN_TIMEOUT_S), "--format", "csv"}, 0,
            &r)) {
        return false;
    }
    size_t found = rowsIn(r.out);
    bool pass = r.exitCode == 0 && found == (size_t)MANY_CONTROLLERS && r.drops == 0 && r.inErrors == 0;
    printf("scan: %d controllers, --timeout %d: %zu found in %.2f s, exit %d, kernel drops RcvbufErrors %lld"
           " InErrors %lld, peak RSS %ld KB (%.2f MB)  %s\n",
           MANY_CONTROLLERS, SCAN_TIMEOUT_S, found, r.seconds, r.exitCode, r.drops, r.inErrors, r.maxRssKb,
           (double)r.maxRssKb / 1024.0, verdict(pass));
    return pass;
}

// Case 5: set on a cloned MAC, one run a seed for each kind of clone.
bool clones(int runs)
{
    const char* const mac = "02.00.00.00.00.01";
    const struct {
        const char* name;
        const char* keys;       // of both devices
        const char* lateKeys;   // of the second
        int needed;             // good runs of 20
    } kinds[] = {
        {"late by 0.8 s", "", ",delay=800", 20},
        {"10% loss each way", ",loss=0.1", "", GOOD_RUNS_OF_20},
        {"late by 0.8 s, 10% loss each way", ",loss=0.1", ",delay=800", GOOD_RUNS_OF_20},
    };
    bool ok = true;
    for (const auto& kind : kinds) {
        int good = 0;
        std::vector<double> times;
        for (int seed = 1; seed <= runs; ++seed) {
            std::vector<std::string> standIn = {"--controller", std::string("mac=") + mac + kind.keys,
                                                "--controller", std::string("mac=") + mac + kind.keys + kind.lateKeys,
                                                "--seed",       std::to_string(seed)};
            Result r;
            if (!runAgainst(
                    standIn,
                    {"set", "--mac", mac, "--ip", "192.168.1.50", "--interface", "127.0.0.1", "--format", "csv"}, 0,
                    &r)) {
                return false;
            }
            bool held = r.exitCode == 5 && countOf(r.out, ",conflict,") == 1;
            good += held ? 1 : 0;
            times.push_back(r.seconds);
        }
        int needed = (kind.needed * runs + 19) / 20;
        bool pass = good >= needed;
        ok = ok && pass;
        printf("clone %s: nothing sent in %d of %d runs (target %d), median %.2f s  %s\n", kind.name, good, runs,
               needed, median(times), verdict(pass));
        fflush(stdout);
    }
    printf("\n");
    return ok;
}

// Responses with ever-new MACs to the batch program's port, without a pause, until stop.
void flood(const std::atomic<bool>& stop, long* sent)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(SCAN_PORT);
    to.sin_addr.s_addr = htonl(0x7F000001);
    unsigned char datagram[RESPONSE_LEN];
    makeResponse(datagram);
    Response r = decoded(datagram, RESPONSE_LEN);
    for (uint32_t k = 0; !stop; ++k) {
        memcpy(r.mac + 2, &k, 4);
        memcpy(r.ip + 1, &k, 3);
        buildResponse(datagram, r);
        *sent += sendto(fd, datagram, RESPONSE_LEN, 0, (const sockaddr*)&to, sizeof to) == RESPONSE_LEN ? 1 : 0;
    }
    close(fd);
}

// Case 6: the scan under a flood.
bool flooded()
{
    std::string dir = makeTempDir();
    std::atomic<bool> stop(false);
    long sent = 0;
    std::thread flooder(flood, std::cref(stop), &sent);
    Result r = runBatch(
        {"scan", "--interface", "127.0.0.1", "--max-time", std::to_string(FLOOD_MAX_TIME_S), "--format", "csv"}, dir);
    stop = true;
    flooder.join();
    std::filesystem::remove_all(dir);
    size_t rows = rowsIn(r.out);
    double beyond = r.seconds - FLOOD_MAX_TIME_S;
    bool pass = r.exitCode == 0 && rows > 0 && beyond < 1.0 + 1.0;
    printf("flood: scan --max-time %g: %zu rows of %ld datagrams sent, ended %.2f s after the start (%.2f s beyond"
           " --max-time), exit %d, peak RSS %ld KB (%.1f MB)  %s\n",
           FLOOD_MAX_TIME_S, rows, sent, r.seconds, beyond, r.exitCode, r.maxRssKb, (double)r.maxRssKb / 1024.0,
           verdict(pass));
    return pass;
}

int usage()
{
    fprintf(stderr, "usage: apply_bench [--runs N] [--repeat R] [--case 1..6] [--batch PATH]\n"
                    "  --runs N      runs of each case under loss or with clones, one a seed from 1 (default 20)\n"
                    "  --repeat R    runs of the 1000-row apply (default 5)\n"
                    "  --case K      only case K (default: all six)\n"
                    "  --batch PATH  measure this brevindor-batch instead (another build's, to compare)\n");
    return 2;
}

bool countArg(const char* text, int* value)
{
    char* end = nullptr;
    long n = strtol(text, &end, 10);
    *value = (int)n;
    return end != text && *end == '\0' && n >= 1 && n <= 1000;
}

}   // namespace

int main(int argc, char** argv)
{
    int runs = 20;
    int repeat = 5;
    int only = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--batch") == 0 && i + 1 < argc) {
            batchPath = argv[++i];
            continue;
        }
        int* value = strcmp(argv[i], "--runs") == 0     ? &runs
                     : strcmp(argv[i], "--repeat") == 0 ? &repeat
                     : strcmp(argv[i], "--case") == 0   ? &only
                                                        : nullptr;
        if (value == nullptr || i + 1 >= argc || !countArg(argv[++i], value) || only > 6) {
            return usage();
        }
    }
    char why[256];
    if (!inPrivateNetns(why, sizeof why)) {
        fprintf(stderr, "apply_bench: %s\n", why);
        return 2;
    }
    (void)signal(SIGPIPE, SIG_IGN);
    printf("batch benchmark: %s\n\n", batchPath);
    fflush(stdout);
    bool ok = true;
    if (only == 0 || only == 1) {
        ok = lossy("apply", APPLY_LOSS, runs) && ok;
    }
    if (only == 0 || only == 2) {
        ok = lossy("scan", SCAN_LOSS, runs) && ok;
    }
    if (only == 0 || only == 3) {
        ok = applyMany(repeat, {}, MANY_LIMIT_S) && ok;
        ok = applyMany(repeat, {"--settle", "0.3"}, MANY_SHORT_LIMIT_S) && ok;
    }
    if (only == 0 || only == 4) {
        ok = scanMany() && ok;
    }
    if (only == 0 || only == 5) {
        ok = clones(runs) && ok;
    }
    if (only == 0 || only == 6) {
        ok = flooded() && ok;
    }
    return ok ? 0 : 1;
}
