// Running the tool and the stand-in as child processes for the end-to-end tests and the benchmark.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ToolRun {
    std::string out;
    std::string err;
    int exitCode = -1;   // -1 when it did not exit by itself
    int signal = 0;      // the signal that ended it
    bool timedOut = false;
    double seconds = 0;         // from start to exit
    bool terminalKept = true;   // on a terminal: its settings after the run are those from before
};

// Faults to meet a run with.
struct RunControl {
    std::string waitFor;             // once the output or the errors hold this text (and the program has changed the
                                     // terminal's settings, on a terminal)...
    int signal = 0;                  // ...send this signal,
    bool closeOutput = false;        // ...or close the reading end of standard output
    bool keepInput = false;          // standard input stays open after the input until the program ends
    bool terminal = false;           // run on a pseudo-terminal: input, output and errors
    std::vector<int> closed;         // standard descriptors the program starts without
    std::string outputTo;            // standard output goes to this file (e.g. /dev/full), not collected
    bool errorsOnTerminal = false;   // only standard error on a pseudo-terminal ("\n" comes as "\r\n")
};

// Runs the program with args in dir, feeds input and closes standard input, collects both outputs.
ToolRun runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                   const std::string& dir, int timeoutSeconds = 60, const RunControl& control = {});

// A controller stand-in running in the background.
struct StandIn {
    std::string netns;   // the network namespace it runs in (/proc/<pid>/ns/net), or empty: the test's own
    pid_t pid = -1;
    int outFd = -1;
    std::string logPath;
    std::string lastWords;   // what it printed when it stopped
};

// Starts the stand-in with args plus --log and waits for it to be ready. False when it fails.
bool startStandIn(StandIn& s, const std::vector<std::string>& args, const std::string& dir);
// Stops it and returns its log of received datagrams.
std::string stopStandIn(StandIn& s);

// Any program running in the background, its standard output read by the test.
struct Background {
    pid_t pid = -1;
    int outFd = -1;
    std::string out;   // what it printed so far
};

// Starts program with args in dir, its standard error to errPath (empty: the test's own), and
// waits up to 10 s for its output to hold ready. False when it fails.
bool startBackground(Background& b, const std::string& program, const std::vector<std::string>& args,
                     const std::string& dir, const std::string& ready, const std::string& errPath = "");
// Sends it signal, reads the rest of its output, waits for it: its exit status, 128 + the signal
// that ended it, or -1 when it was not running.
int stopBackground(Background& b, int signal);

// A fresh temporary directory.
std::string makeTempDir();
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
