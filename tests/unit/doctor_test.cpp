// The check of the computer: its decisions from given facts and scans, the address it suggests,
// and the fixes in each system's words.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <functional>

#include "commission/doctor.h"
#include "protocol/address.h"
#include "report/doctor_text.h"
#include "support/response.h"

namespace {

typedef std::array<unsigned char, IPV4_LEN> Address;

Address addr(const char* text)
{
    Address a{};
    EXPECT_TRUE(parseIpv4(text, a.data())) << text;
    return a;
}

InterfaceDetail detail(const char* name, const char* address, int prefix, InterfaceKind kind = KIND_ETHERNET)
{
    InterfaceDetail d{};
    (void)snprintf(d.one.name, sizeof d.one.name, "%s", name);
    memcpy(d.one.address, addr(address).data(), IPV4_LEN);
    d.one.up = true;
    d.one.loopback = kind == KIND_LOOPBACK;
    d.prefix = prefix;
    d.multicast = kind != KIND_LOOPBACK;
    d.kind = kind;
    return d;
}

// A controller with this IP and mask, heard on the local address.
Sighting heard(int k, const char* ip, const char* mask, const char* on, const char* gateway = "192.168.1.1")
{
    Sighting s{};
    unsigned char buf[RESPONSE_LEN];
    makeResponse(buf);
    decodeResponse(buf, RESPONSE_LEN, RESPONSE_LEN, &s.response);
    s.response.mac[5] = (unsigned char)k;
    memcpy(s.response.ip, addr(ip).data(), IPV4_LEN);
    memcpy(s.response.mask, addr(mask).data(), IPV4_LEN);
    memcpy(s.local, addr(on).data(), IPV4_LEN);
    memcpy(s.response.gateway, addr(gateway).data(), IPV4_LEN);
    s.answers = 1;
    return s;
}

// Facts of a computer with lo and eth0 10.0.0.1/24, eth0 checked, everything fine.
ComputerFacts fineComputer()
{
    ComputerFacts f;
    f.interfaces = {detail("lo", "127.0.0.1", 8, KIND_LOOPBACK), detail("eth0", "10.0.0.1", 24)};
    f.chosen = {f.interfaces[1].one};
    f.candidates = f.chosen;
    memcpy(f.route, f.interfaces[1].one.address, IPV4_LEN);
    f.bindErrors = {0};
    f.bufferAsked = 4 << 20;
    f.bufferGranted = 4 << 20;
    return f;
}

JobResult scanFound(const std::vector<Sighting>& found)
{
    JobResult r;
    r.found = found;
    return r;
}

// The findings that are not fine, as "kind severity fix" words, and the status.
std::string notFine(const std::vector<Finding>& findings, bool windows)
{
    std::string text;
    for (const Finding& f : findings) {
        if (f.severity != SEVERITY_OK) {
            text += findingLine(f, windows) + "\n";
        }
    }
    return text;
}

}   // namespace

TEST(Doctor, FreeAddressFromTheTopDown)
{
    const struct {
        const char* ip;
        const char* mask;
        std::vector<const char*> taken;
        const char* expected;   // nullptr: none
    } cases[] = {
        {"10.2.0.7", "255.255.255.0", {}, "10.2.0.250"},
        {"10.2.0.7", "255.255.255.0", {"10.2.0.250", "10.2.0.249"}, "10.2.0.248"},
        {"172.16.5.9", "255.255.0.0", {}, "172.16.255.250"},
        {"192.168.1.9", "255.255.255.248", {}, "192.168.1.10"},         // .8/29: top .15, .15 - 5
        {"192.168.1.1", "255.255.255.252", {}, "192.168.1.2"},          // /30: the few above the start
        {"192.168.1.1", "255.255.255.252", {"192.168.1.2"}, nullptr},   // its only other host taken
        {"10.0.0.1", "255.255.255.254", {}, nullptr},                   // /31: no second host
        {"10.0.0.1", "255.0.255.0", {}, nullptr},                       // no prefix
    };
    for (const auto& c : cases) {
        std::vector<Address> taken;
        for (const char* t : c.taken) {
            taken.push_back(addr(t));
        }
        taken.push_back(addr(c.ip));
        unsigned char got[IPV4_LEN];
        bool found = freeAddressIn(addr(c.ip).data(), addr(c.mask).data(), taken, got);
        EXPECT_EQ(found, c.expected != nullptr) << c.ip << " " << c.mask;
        if (found && c.expected != nullptr) {
            EXPECT_EQ(memcmp(got, addr(c.expected).data(), IPV4_LEN), 0) << c.ip << " " << c.mask;
        }
    }
}

TEST(Doctor, FindingsAndStatus)
{
    const struct {   // NOLINT(clang-analyzer-optin.performance.Padding): in the order a row reads
        const char* name;
        std::function<void(ComputerFacts&)> change;
        std::vector<Sighting> found;   // the scan on eth0
        bool windows;
        std::string problems;   // the lines not fine
        int status;
    } cases[] = {
        {"AllFine", [](ComputerFacts&) {}, {heard(1, "10.0.0.7", "255.255.255.0", "10.0.0.1")}, false, "", 0},
        {"NothingAnswered",
         [](ComputerFacts&) {},
         {},
         false,
         "problem  scan on 10.0.0.1 (eth0): no controller answered\n",
         1},
        {"OutsideEverySubnet",
         [](ComputerFacts&) {},
         {heard(1, "10.2.0.7", "255.255.255.0", "10.0.0.1"), heard(2, "10.2.0.250", "255.255.255.0", "10.0.0.1")},
         false,
         "problem  controller 00.1a.2b.3c.4d.01 at 10.2.0.7 mask 255.255.255.0, heard on 10.0.0.1 (eth0), is outside "
         "every subnet of this computer; fix (as root): ip addr add 10.2.0.249/24 dev eth0\n"
         "problem  controller 00.1a.2b.3c.4d.02 at 10.2.0.250 mask 255.255.255.0, heard on 10.0.0.1 (eth0), is "
         "outside every subnet of this computer; fix (as root): ip addr add 10.2.0.249/24 dev eth0\n",
         1},
        {"SuggestionPassesOverTheGateway",
         [](ComputerFacts&) {},
         {heard(1, "10.2.0.7", "255.255.255.0", "10.0.0.1", "10.2.0.250")},
         false,
         "problem  controller 00.1a.2b.3c.4d.01 at 10.2.0.7 mask 255.255.255.0, heard on 10.0.0.1 (eth0), is outside "
         "every subnet of this computer; fix (as root): ip addr add 10.2.0.249/24 dev eth0\n",
         1},
        {"InsideAnotherInterfacesSubnet",
         [](ComputerFacts& f) { f.interfaces.push_back(detail("eth1", "10.2.0.1", 16)); },
         {heard(1, "10.2.0.7", "255.255.255.0", "10.0.0.1")},
         false,
         "",
         0},
        {"PortHeld",
         [](ComputerFacts& f) { f.bindErrors = {EADDRINUSE}; },
         {heard(1, "10.0.0.7", "255.255.255.0", "10.0.0.1")},
         false,
         "problem  port 20662 on 10.0.0.1 (eth0): can't be bound: Address already in use (error 98); is another "
         "brevindor or brevindor-batch running?; to see which program holds it: ss -uanp 'sport = :20662'\n",
         1},
        {"RouteByAnotherInterface",
         [](ComputerFacts& f) { memcpy(f.route, f.interfaces[0].one.address, IPV4_LEN); },
         {heard(1, "10.0.0.7", "255.255.255.0", "10.0.0.1")},
         false,
         "problem  route: datagrams to 239.192.0.255 leave by 127.0.0.1 (lo), not an interface checked; fix (as root): "
         "ip route add 239.192.0.255/32 dev eth0\n",
         1},
        {"SmallBuffer",
         [](ComputerFacts& f) { f.bufferGranted = 212992; },
         {heard(1, "10.0.0.7", "255.255.255.0", "10.0.0.1")},
         false,
         "problem  receive buffer: 212992 bytes granted of 4194304 asked: answers of many controllers at once may be "
         "lost; fix (as root): sysctl -w net.core.rmem_max=4194304\n",
         1},
        {"NoMulticastOnTheCheckedInterface",
         [](ComputerFacts& f) { f.interfaces[1].multicast = false; },
         {heard(1, "10.0.0.7", "255.255.255.0", "10.0.0.1")},
         false,
         "problem  interface eth0: 10.0.0.1/24, up, no multicast, ethernet, checked; fix (as root): ip link set dev "
         "eth0 multicast on\n",
         1},
        {"WindowsAllowedAndPrivate",
         [](ComputerFacts& f) {
             f.firewall = {true, ANSWER_YES, 0, ANSWER_NO, 0};
         },
         {heard(1, "10.0.0.7", "255.255.255.0", "10.0.0.1")},
         true,
         "",
         0},
        {"WindowsCouldNotTell",
         [](ComputerFacts& f) {
             f.firewall = {true, ANSWER_UNKNOWN, (long)0x80040154L, ANSWER_UNKNOWN, (long)0x80040154L};
         },
         {heard(1, "10.0.0.7", "255.255.255.0", "10.0.0.1")},
         true,
         "unknown  firewall: couldn't tell whether inbound UDP 20662 is let through (HRESULT 0x80040154); fix (as "
         "administrator): netsh advfirewall firewall add rule name=\"brevindor\" dir=in action=allow protocol=UDP "
         "localport=20662\n"
         "unknown  network profile: couldn't tell whether it is Public (HRESULT 0x80040154)\n",
         1},
        {"WindowsNoRuleOnAPublicNetwork",
         [](ComputerFacts& f) {
             f.firewall = {true, ANSWER_NO, 0, ANSWER_YES, 0};
         },
         {heard(1, "10.2.0.7", "255.255.255.0", "10.0.0.1")},
         true,
         "problem  firewall: no enabled inbound rule lets UDP 20662 through: the answers are dropped; fix (as "
         "administrator): netsh advfirewall firewall add rule name=\"brevindor\" dir=in action=allow protocol=UDP "
         "localport=20662\n"
         "problem  network profile: Public, where the firewall is strictest; fix (PowerShell, as administrator): "
         "Set-NetConnectionProfile -InterfaceAlias \"eth0\" -NetworkCategory Private\n"
         "problem  controller 00.1a.2b.3c.4d.01 at 10.2.0.7 mask 255.255.255.0, heard on 10.0.0.1 (eth0), is outside "
         "every subnet of this computer; fix (as administrator): netsh interface ipv4 add address \"eth0\" 10.2.0.250 "
         "255.255.255.0\n",
         1},
        {"NothingToCheck",
         [](ComputerFacts& f) {
             f.choice = CHOICE_NONE;
             f.chosen.clear();
             f.candidates.clear();
         },
         {},
         false,
         "problem  interfaces to check: no interface other than loopback or a tunnel is up with an IPv4 address; name "
         "one with --interface\n",
         1},
    };
    for (const auto& c : cases) {
        ComputerFacts facts = fineComputer();
        c.change(facts);
        std::vector<JobResult> scans;
        if (!facts.chosen.empty()) {
            scans.push_back(scanFound(c.found));
        }
        std::vector<Finding> findings = doctorFindings(facts, scans);
        EXPECT_EQ(notFine(findings, c.windows), c.problems) << c.name;
        EXPECT_EQ(doctorStatus(findings), c.status) << c.name;
    }
}

TEST(Doctor, ScanFailureAndTheInterfacesListed)
{
    ComputerFacts facts = fineComputer();
    JobResult failed;
    failed.end = JOB_FAILED;
    failed.failure = failureOf(FAILED_BIND, facts.chosen[0].address, EADDRINUSE);
    std::vector<Finding> findings = doctorFindings(facts, {failed});
    EXPECT_EQ(notFine(findings, false),
              "problem  scan on 10.0.0.1 (eth0): can't bind to port 20662 on 10.0.0.1: Address already in use (error "
              "98); is another brevindor or brevindor-batch running?\n");

    facts.listed = false;
    findings = doctorFindings(facts, {});
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findingLine(findings[0], false), "problem  can't list the local addresses");
    EXPECT_EQ(doctorStatus(findings), 1);
}

TEST(Doctor, InterfaceLinesMarkTheVirtualOnes)
{
    ComputerFacts facts = fineComputer();
    InterfaceDetail tun = detail("wg0", "10.8.0.1", 24, KIND_VPN);
    tun.one.tunnel = true;
    facts.interfaces = {detail("lo", "127.0.0.1", 8, KIND_LOOPBACK),
                        facts.interfaces[1],
                        detail("brv0", "10.9.0.1", 24, KIND_VETH),
                        detail("docker0", "172.17.0.1", 16, KIND_DOCKER),
                        tun,
                        detail("vEthernet (Default Switch)", "172.20.0.1", 20, KIND_HYPERV)};
    facts.interfaces[2].one.up = false;
    std::vector<Finding> findings = doctorFindings(facts, {scanFound({})});
    std::string lines;
    for (const Finding& f : findings) {
        if (f.kind == FINDING_INTERFACE) {
            lines += findingLine(f, false) + "\n";
        }
    }
    EXPECT_EQ(lines,
              "ok       interface lo: 127.0.0.1/8, up, no multicast, loopback\n"
              "ok       interface eth0: 10.0.0.1/24, up, multicast, ethernet, checked\n"
              "ok       interface brv0: 10.9.0.1/24, down, multicast, veth (virtual)\n"
              "ok       interface docker0: 172.17.0.1/16, up, multicast, docker (virtual)\n"
              "ok       interface wg0: 10.8.0.1/24, up, multicast, VPN (virtual), a tunnel: used only when named\n"
              "ok       interface vEthernet (Default Switch): 172.20.0.1/20, up, multicast, Hyper-V (virtual)\n");
}

TEST(Doctor, FixesInEachSystemsWords)
{
    Fix add;
    add.kind = FIX_ADD_ADDRESS;
    (void)snprintf(add.on.name, sizeof add.on.name, "%s", "Ethernet 2");
    memcpy(add.address, addr("10.2.0.250").data(), IPV4_LEN);
    add.prefix = 24;
    Fix route = add;
    route.kind = FIX_GROUP_ROUTE;
    Fix buffer;
    buffer.kind = FIX_RECEIVE_BUFFER;
    buffer.bytes = 4194304;
    Fix multicast = add;
    multicast.kind = FIX_MULTICAST_ON;
    Fix holder;
    holder.kind = FIX_SHOW_PORT_HOLDER;
    Fix firewall;
    firewall.kind = FIX_ALLOW_PORT;
    const struct {
        Fix fix;
        const char* linux;
        const char* windows;
    } cases[] = {
        {add, "ip addr add 10.2.0.250/24 dev Ethernet 2",
         "netsh interface ipv4 add address \"Ethernet 2\" 10.2.0.250 255.255.255.0"},
        {route, "ip route add 239.192.0.255/32 dev Ethernet 2",
         "netsh interface ipv4 add route 239.192.0.255/32 \"Ethernet 2\""},
        {buffer, "sysctl -w net.core.rmem_max=4194304", ""},
        {multicast, "ip link set dev Ethernet 2 multicast on", ""},
        {holder, "ss -uanp 'sport = :20662'", "netstat -ano -p udp | findstr :20662"},
        {firewall, "",
         "netsh advfirewall firewall add rule name=\"brevindor\" dir=in action=allow protocol=UDP localport=20662"},
        {Fix(), "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fixCommand(c.fix, false), c.linux);
        EXPECT_EQ(fixCommand(c.fix, true), c.windows);
    }
}

TEST(Doctor, JsonForm)
{
    ComputerFacts facts = fineComputer();
    std::vector<Finding> findings =
        doctorFindings(facts, {scanFound({heard(1, "10.2.0.7", "255.255.255.0", "10.0.0.1")})});
    nlohmann::json all = nlohmann::json::parse(doctorText(FORMAT_JSON, findings, doctorStatus(findings), false));
    EXPECT_EQ(all["status"], 1);
    const nlohmann::json& outside = all["findings"].back();
    EXPECT_EQ(outside["kind"], "outside");
    EXPECT_EQ(outside["severity"], "problem");
    EXPECT_EQ(outside["interface"]["name"], "eth0");
    EXPECT_EQ(outside["ip"], "10.2.0.7");
    EXPECT_EQ(outside["fix"]["kind"], "add_address");
    EXPECT_EQ(outside["fix"]["address"], "10.2.0.250");
    EXPECT_EQ(outside["fix"]["prefix"], 24);
    EXPECT_EQ(outside["fix"]["command"], "ip addr add 10.2.0.250/24 dev eth0");
    EXPECT_EQ(all["findings"][0]["interface"]["kind"], "loopback");
    EXPECT_EQ(all["findings"][0]["fix"], nullptr);
}
