// Batch benchmark: brevindor-batch against simulated controllers answering at once.
// 1. apply: a 100-row plan on 100 controllers with the time-out T = 1 s; the whole run (one scan,
//    one burst of settings, one verify phase) against 3 x T + 1 s, and every row verified.
// 2. scan: 1000 controllers; rows found, the kernel's UDP receive errors before and after, and
//    the program's peak resident memory.
// Run through bench/run.sh apply, which makes the private network namespace.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "support/process.h"
#include "tools/netns_guard.h"

#ifndef BREVINDOR_BATCH_PATH
#error BREVINDOR_BATCH_PATH must name the batch program
#endif

namespace {

const int TIMEOUT_S = 1;

struct Result {
    std::string out;
    int exitCode = -1;
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs the batch program with its output into a file; times it and takes its peak memory.
Result run(const std::vector<std::string>& args, const std::string& dir)
{
    Result r;
    int64_t start = monotonicNs();
    Exit e = runToFiles(BREVINDOR_BATCH_PATH, args, dir, "/dev/null", dir + "/out", "/dev/null");
    r.seconds = (double)(e.exitNs - start) / 1e9;
    r.exitCode = e.code;
    r.maxRssKb = e.maxRssKb;
    r.out = readFile(dir + "/out");
    return r;
}

bool applyPlan()
{
    const int n = 100;
    std::string dir = makeTempDir();
    std::string plan = "mac,ip,gateway,mask\n";
    for (int k = 1; k <= n; ++k) {
        char row[80];
        (void)snprintf(row, sizeof row, "02:00:00:00:%02x:%02x,10.20.%d.%d,,\n", k >> 8, k & 0xFF, k >> 8, k & 0xFF);
        plan += row;
    }
    std::ofstream(dir + "/plan.csv") << plan;
    StandIn standIn;
    if (!startStandIn(standIn, {"--many", std::to_string(n)}, dir)) {
        fprintf(stderr, "apply_bench: the stand-in did not start\n");
        return false;
    }
    UdpCounters before = readUdpCounters();
    Result r = run({"apply", "plan.csv", "--interface", "127.0.0.1", "--timeout", std::to_string(TIMEOUT_S)}, dir);
    UdpCounters after = readUdpCounters();
    stopStandIn(standIn);
    size_t verified = countOf(r.out, "  verified  ");
    double limit = 3.0 * TIMEOUT_S + 1;
    bool pass = r.exitCode == 0 && verified == (size_t)n && r.seconds < limit;
    printf("apply: %d-row plan on %d controllers, T = %d s: %.2f s (limit 3 x T + 1 = %.0f s), %zu verified,"
           " exit %d, drops %lld (InErrors %lld), peak RSS %ld KB  %s\n",
           n, n, TIMEOUT_S, r.seconds, limit, verified, r.exitCode, after.rcvbufErrors - before.rcvbufErrors,
           after.inErrors - before.inErrors, r.maxRssKb, pass ? "PASS" : "MISS");
    std::filesystem::remove_all(dir);
    return pass;
}

bool scanMany()
{
    const int n = 1000;
    std::string dir = makeTempDir();
    StandIn standIn;
    if (!startStandIn(standIn, {"--many", std::to_string(n)}, dir)) {
        fprintf(stderr, "apply_bench: the stand-in did not start\n");
        return false;
    }
    UdpCounters before = readUdpCounters();
    Result r =
        run({"scan", "--interface", "127.0.0.1", "--timeout", std::to_string(TIMEOUT_S), "--format", "csv"}, dir);
    UdpCounters after = readUdpCounters();
    stopStandIn(standIn);
    size_t found = countOf(r.out, "\r\n") - 1;
    long long drops = after.rcvbufErrors - before.rcvbufErrors;
    long long inErrors = after.inErrors - before.inErrors;
    bool pass = r.exitCode == 0 && found == (size_t)n && drops == 0 && inErrors == 0;
    printf("scan: %d controllers, T = %d s: %zu found in %.2f s, exit %d, kernel drops RcvbufErrors %lld"
           " InErrors %lld, peak RSS %ld KB (%.2f MB)  %s\n",
           n, TIMEOUT_S, found, r.seconds, r.exitCode, drops, inErrors, r.maxRssKb, (double)r.maxRssKb / 1024.0,
           pass ? "PASS" : "MISS");
    std::filesystem::remove_all(dir);
    return pass;
}

}   // namespace

int main()
{
    char why[256];
    if (!inPrivateNetns(why, sizeof why)) {
        fprintf(stderr, "apply_bench: %s\n", why);
        return 2;
    }
    printf("batch benchmark: %s\n", BREVINDOR_BATCH_PATH);
    fflush(stdout);
    bool ok = applyPlan();
    fflush(stdout);
    ok = scanMany() && ok;
    return ok ? 0 : 1;
}
