// Running the tool and the stand-in as child processes for the end-to-end tests and the benchmark.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ToolRun {
    std::string out;
    std::string err;
    int exitCode = -1;   // -1 when it did not exit by itself
    bool timedOut = false;
    double seconds = 0;   // from start to exit
};

// Runs the program with args in dir, feeds input and closes standard input, collects both outputs.
ToolRun runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                   const std::string& dir, int timeoutSeconds = 60);

// A controller stand-in running in the background.
struct StandIn {
    pid_t pid = -1;
    int outFd = -1;
    std::string logPath;
    std::string lastWords;   // what it printed when it stopped
};

// Starts the stand-in with args plus --log and waits for it to be ready. False when it fails.
bool startStandIn(StandIn& s, const std::vector<std::string>& args, const std::string& dir);
// Stops it and returns its log of received datagrams.
std::string stopStandIn(StandIn& s);

// A fresh temporary directory.
std::string makeTempDir();
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
