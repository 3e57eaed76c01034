// Shared parts of the end-to-end tests: the private namespace, the runs, the expected texts.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"

// One simulated controller: the stand-in's settings and what the tool must show of it.
struct Ctl {
    std::string from;
    std::string mac;
    std::string ip = "192.168.1.20";
    std::string gw = "192.168.1.1";
    std::string mask = "255.255.255.0";
    std::string name = "Hall-North";
    std::string extra;   // further stand-in keys, e.g. "size=0,delay=100"

    std::string keys() const;   // the stand-in's --controller value
};

Ctl ctl(int k);   // the k-th controller (from 1): from 127.0.0.(k+1), MAC 00.1a.2b.3c.4d.<k>

// Texts of the tool, written out here independently of its code.
extern const std::string BANNER;
std::string head(const std::vector<std::string>& addresses = {"127.0.0.1"});
extern const std::string REQUEST_DUMP;   // sent request, then the waiting line
extern const std::string TIMEOUT;
extern const std::string PAUSE;
extern const std::string LOCAL_ADDR_FAILURE;
extern const std::string RECEIVE_FAILURE;
std::string responseDump(int n, const Ctl& c, long bytes = 70, const Ctl* shown = nullptr);
std::string countLine(int n);
// The response file's forms of the same records.
std::string responseRecord(int n, const Ctl& c, long bytes = 70, const Ctl* shown = nullptr);
std::string countRecord(int n);

class Network : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the stand-in with these controllers (and further arguments).
    void controllers(const std::vector<Ctl>& list, const std::vector<std::string>& more = {});
    // brevindor-batch, with input (nothing by default) on its standard input.
    ToolRun batch(const std::vector<std::string>& args, const RunControl& control = {}, const std::string& input = "");
    // Writes a file into the test's folder and returns its path.
    std::string file(const std::string& name, const std::string& text);
    ToolRun tool(const std::vector<std::string>& args, const std::string& input, const RunControl& control = {});
    // Skips the test with the reason, or fails it where namespaces are required (BREVINDOR_REQUIRE_NETNS).
    void unavailable(const std::string& why);
    // The stand-in's log of received datagrams, after stopping it.
    std::string received();
    // Segments 1..count (tools/segments.sh): link brv<2n-2> here with 10.n.0.1, its other end
    // brv<2n-1> with 10.n.0.2 in a second private namespace, where the stand-in then starts.
    void segments(size_t count);

    std::string dir;
    StandIn standIn;
    pid_t keeper = -1;   // the process that keeps the segments' namespace
};

// The log line of a datagram the stand-in received from the tool's socket.
std::string logLine(const std::vector<unsigned char>& bytes, const std::string& from = "127.0.0.1:20662");
extern const std::string REQUEST_LOG;
// The log line of a setting: the MAC ("00.1a.."), then the three dotted addresses.
std::string settingLogLine(const std::string& mac, const std::string& ip, const std::string& gw,
                           const std::string& mask, const std::string& from = "127.0.0.1:20662");
// The setting as the stand-in logs it: header, MAC, two zero bytes, the three addresses.
std::string settingLog(const std::vector<unsigned char>& macAndAddresses, const std::string& from = "127.0.0.1:20662");
