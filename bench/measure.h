// Measuring a program run by a benchmark: its exit, peak memory and end time, and the kernel's
// UDP error counters of this network namespace, read before and after to tell any drop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// CLOCK_MONOTONIC in nanoseconds.
int64_t monotonicNs();

struct Exit {
    int code = -1;   // -1 when it did not exit by itself
    long maxRssKb = 0;
    int64_t exitNs = 0;   // CLOCK_MONOTONIC right after it was reaped
    bool killed = false;
};

// Runs program in dir with stdin, stdout and stderr from and to files; one still running after
// TOOL_DEADLINE_S is killed.
const int TOOL_DEADLINE_S = 60;
Exit runToFiles(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                const std::string& inPath, const std::string& outPath, const std::string& errPath);

// The median of v; 0 when it is empty.
double median(std::vector<double> v);

// Occurrences of what in text.
size_t countOf(const std::string& text, const std::string& what);

struct UdpCounters {
    long long inErrors = -1;
    long long rcvbufErrors = -1;
};

UdpCounters readUdpCounters();
