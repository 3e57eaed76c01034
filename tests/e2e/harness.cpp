#include "e2e/harness.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "support/netns.h"

#ifndef BREVINDOR_PATH
#error BREVINDOR_PATH must name the tool
#endif
#ifndef BREVINDOR_BATCH_PATH
#error BREVINDOR_BATCH_PATH must name the batch program
#endif
#ifndef SEGMENTS_SCRIPT
#error SEGMENTS_SCRIPT must name tools/segments.sh
#endif

std::string Ctl::keys() const
{
    std::string s = "from=" + from + ",mac=" + mac + ",ip=" + ip + ",gw=" + gw + ",mask=" + mask + ",name=" + name +
                    ",id=4343,idtype=0900,version=1.0.0.8,index=0007";
    return extra.empty() ? s : s + "," + extra;
}

Ctl ctl(int k)
{
    Ctl c;
    char buf[64];
    (void)snprintf(buf, sizeof buf, "127.0.%d.%d", (k + 1) / 256, (k + 1) % 256);
    c.from = buf;
    (void)snprintf(buf, sizeof buf, "00.1a.2b.3c.%02x.%02x", k / 256, k % 256);
    c.mac = buf;
    return c;
}

const std::string BANNER = "Brevindor Version 1.08 \n";

std::string head(const std::vector<std::string>& addresses)
{
    std::string text = BANNER + "Host name is brevtest.\n\n";
    for (size_t i = 0; i < addresses.size(); ++i) {
        text += "Interface " + std::to_string(i + 1) + ": " + addresses[i] + "\n";
    }
    return text + "\nType the number of the address to choose the interface: ";
}

const std::string REQUEST_DUMP =
    "\n*************************************\n\tSent Request Message\n*************************************\n\n"
    "Bytes Sent\t: 16\nProtocol ID\t: VKDA\nProtocol Version: 1.00\nMessage Type\t: Multicast Request"
    "\nIndex\t\t: 00 00 \n\n"
    "\n\nWaiting for the response...\n";
const std::string TIMEOUT = "Timeout has been exceeded.\n";
const std::string PAUSE = "Press any key to continue . . . \n";
const std::string LOCAL_ADDR_FAILURE = "An error has been occurred during getting the Local IP addresses!!!\n";
const std::string RECEIVE_FAILURE = "An error has been occurred during receiving the message!!!\n";

std::string responseDump(int n, const Ctl& c, long bytes, const Ctl* shown)
{
    const Ctl& f = shown != nullptr ? *shown : c;   // an empty datagram shows the earlier fields
    return "\n\n" + std::to_string(n) + ". response is received from the \nIP Address: " + c.from +
           " \nMAC-Address: " + f.mac + "\n\n" +
           "********************************\n\tReceived Message\n********************************\n\n" +
           "Bytes Received\t\t: " + std::to_string(bytes) + "\nProtocol ID\t\t: VKDA" +
           "\nProtocol Version\t: 1.00\nMessage Type\t\t: Unicast Response\nIndex\t\t\t: 00 07 " +
           "\nMac-Addresse\t\t: " + f.mac + "\nIP-Adresse\t\t: " + f.ip + "\nIP-Gateway\t\t: " + f.gw +
           "\nIP-Mask\t\t\t: " + f.mask + "\nNode Identification\t: 43 43 -> Morvesta" +
           "\nNode Identification Type: 09 00 -> K4Z\nVersion Nummer\t\t: 1.0.0.8" + "\nNode Name\t\t: " + f.name +
           "\n\n";
}

std::string countLine(int n)
{
    if (n == 0) {
        return "\nThere are no online controllers.\n\n";
    }
    if (n == 1) {
        return "\nThere is only 1 online controller.\n\n";
    }
    return "\nThere are " + std::to_string(n) + " online controllers.\n\n";
}

// The file's record differs from the console dump in its one-line head, 33-asterisk rules and
// the word "Number".
std::string responseRecord(int n, const Ctl& c, long bytes, const Ctl* shown)
{
    std::string text = responseDump(n, c, bytes, shown);
    const std::pair<std::string, std::string> changes[] = {
        {" \nIP Address: ", " IP Address: "},
        {" \nMAC-Address: ", " MAC-Address: "},
        {"********************************\n\tReceived Message\n********************************",
         "*********************************\n\tReceived Message\n*********************************"},
        {"Version Nummer", "Version Number"},
    };
    for (const auto& change : changes) {
        text.replace(text.find(change.first), change.first.size(), change.second);
    }
    return text;
}

std::string countRecord(int n)
{
    return n == 0 ? "\nThere are no online controllers." : countLine(n);
}

std::string logLine(const std::vector<unsigned char>& bytes, const std::string& from)
{
    std::string line = from + " " + std::to_string(bytes.size());
    for (unsigned char b : bytes) {
        char hex[4];
        (void)snprintf(hex, sizeof hex, " %02x", b);
        line += hex;
    }
    return line + "\n";
}

// Numbers of a dotted text in the base given.
static void appendBytes(std::vector<unsigned char>* bytes, const std::string& text, int base)
{
    const char* p = text.c_str();
    for (;;) {
        char* end = nullptr;
        bytes->push_back((unsigned char)strtoul(p, &end, base));
        if (*end == '\0') {
            return;
        }
        p = end + 1;
    }
}

std::string settingLogLine(const std::string& mac, const std::string& ip, const std::string& gw,
                           const std::string& mask, const std::string& from)
{
    std::vector<unsigned char> macAndAddresses;
    appendBytes(&macAndAddresses, mac, 16);
    macAndAddresses.push_back(0);
    macAndAddresses.push_back(0);
    for (const std::string* a : {&ip, &gw, &mask}) {
        appendBytes(&macAndAddresses, *a, 10);
    }
    return settingLog(macAndAddresses, from);
}

const std::string REQUEST_LOG = logLine({0x56, 0x4b, 0x44, 0x41, 0x01, 0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0});

std::string settingLog(const std::vector<unsigned char>& macAndAddresses, const std::string& from)
{
    std::vector<unsigned char> bytes = {0x56, 0x4b, 0x44, 0x41, 0x01, 0x00, 0x01, 0x02};
    for (unsigned char b : macAndAddresses) {   // not insert: GCC 12 -O2 warns of a false array bound
        bytes.push_back(b);
    }
    return logLine(bytes, from);
}

// The namespace is entered once per test process; ctest runs every test in a process of its own.
static bool netnsReady(std::string* why)
{
    static bool tried = false;
    static bool ready = false;
    static std::string reason;
    if (!tried) {
        tried = true;
        ready = enterPrivateNetns(&reason);
    }
    *why = reason;
    return ready;
}

void Network::SetUp()
{
    std::string why;
    if (!netnsReady(&why)) {
        unavailable(why);
        return;
    }
    dir = makeTempDir();
    // Every run records into this test's folder, never into the journal of the user running it.
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
}

void Network::unavailable(const std::string& why)
{
    if (getenv("BREVINDOR_REQUIRE_NETNS") != nullptr) {
        FAIL() << "network tests required but unavailable: " << why;
    }
    GTEST_SKIP() << "network test skipped: " << why;
}

void Network::TearDown()
{
    stopStandIn(standIn);
    if (keeper > 0) {
        kill(keeper, SIGTERM);
    }
}

void Network::segments(size_t count)
{
    std::string pidFile = dir + "/keeper.pid";
    ASSERT_TRUE(inNamespace(std::string("bash -c '. ") + SEGMENTS_SCRIPT + "; make_segments " + std::to_string(count) +
                            " " + pidFile + "'"));
    keeper = (pid_t)std::stol(readFile(pidFile));
    standIn.netns = "/proc/" + std::to_string(keeper) + "/ns/net";
}

void Network::controllers(const std::vector<Ctl>& list, const std::vector<std::string>& more)
{
    std::vector<std::string> args;
    for (const Ctl& c : list) {
        args.push_back("--controller");
        args.push_back(c.keys());
    }
    args.insert(args.end(), more.begin(), more.end());
    ASSERT_TRUE(startStandIn(standIn, args, dir)) << "the stand-in did not start";
}

ToolRun Network::tool(const std::vector<std::string>& args, const std::string& input, const RunControl& control)
{
    return runProgram(BREVINDOR_PATH, args, input, dir, 60, control);
}

ToolRun Network::batch(const std::vector<std::string>& args, const RunControl& control, const std::string& input)
{
    return runProgram(BREVINDOR_BATCH_PATH, args, input, dir, 60, control);
}

std::string Network::file(const std::string& name, const std::string& text)
{
    std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f != nullptr) {
        (void)fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    return path;
}

std::string Network::received()
{
    return stopStandIn(standIn);
}
