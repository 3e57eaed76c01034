#include "report/doctor_text.h"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "protocol/messages.h"
#include "report/cells.h"
#include "report/messages.h"
#include "report/no_answer_text.h"

static std::string maskText(int prefix)
{
    uint32_t m = prefix <= 0 ? 0 : 0xFFFFFFFFU << (32 - prefix);
    unsigned char bytes[4] = {(unsigned char)(m >> 24), (unsigned char)(m >> 16), (unsigned char)(m >> 8),
                              (unsigned char)m};
    return ipv4Text(bytes);
}

std::string fixCommand(const Fix& fix, bool windows)
{
    const std::string name = fix.on.name;
    const std::string port = std::to_string(SCAN_PORT);
    switch (fix.kind) {
    case FIX_ADD_ADDRESS:
        return windows ? "netsh interface ipv4 add address \"" + name + "\" " + ipv4Text(fix.address) + " " +
                             maskText(fix.prefix)
                       : "ip addr add " + ipv4Text(fix.address) + "/" + std::to_string(fix.prefix) + " dev " + name;
    case FIX_ALLOW_PORT:
        return windows ? firewallRule() : "";
    case FIX_PRIVATE_PROFILE:
        return windows ? "Set-NetConnectionProfile -InterfaceAlias \"" + name + "\" -NetworkCategory Private" : "";
    case FIX_RECEIVE_BUFFER:
        return windows ? "" : "sysctl -w net.core.rmem_max=" + std::to_string(fix.bytes);
    case FIX_SHOW_PORT_HOLDER:
        return windows ? "netstat -ano -p udp | findstr :" + port : "ss -uanp 'sport = :" + port + "'";
    case FIX_GROUP_ROUTE:
        return windows ? std::string("netsh interface ipv4 add route ") + SCAN_GROUP + "/32 \"" + name + "\""
                       : std::string("ip route add ") + SCAN_GROUP + "/32 dev " + name;
    case FIX_MULTICAST_ON:
        return windows ? "" : "ip link set dev " + name + " multicast on";
    case FIX_NONE:
        break;
    }
    return "";
}

// Who may run the fix, as the line says it.
static std::string fixLead(const Fix& fix, bool windows)
{
    if (fix.kind == FIX_SHOW_PORT_HOLDER) {
        return "to see which program holds it: ";
    }
    if (fix.kind == FIX_PRIVATE_PROFILE) {
        return "fix (PowerShell, as administrator): ";
    }
    return windows ? "fix (as administrator): " : "fix (as root): ";
}

static const char* severityText(Severity s)
{
    switch (s) {
    case SEVERITY_PROBLEM:
        return "problem";
    case SEVERITY_UNKNOWN:
        return "unknown";
    case SEVERITY_OK:
        break;
    }
    return "ok";
}

static const char* kindText(InterfaceKind kind)
{
    const char* const words[] = {"ethernet",   "wireless", "loopback", "PPP",    "tunnel", "tun",
                                 "tap",        "veth",     "bridge",   "docker", "VPN",    "Hyper-V",
                                 "VirtualBox", "VMware",   "virtual",  "other"};
    return kind >= KIND_ETHERNET && kind <= KIND_OTHER ? words[kind] : "other";
}

static bool isVirtual(InterfaceKind kind)
{
    switch (kind) {
    case KIND_TUN:
    case KIND_TAP:
    case KIND_VETH:
    case KIND_BRIDGE:
    case KIND_DOCKER:
    case KIND_VPN:
    case KIND_HYPERV:
    case KIND_VIRTUALBOX:
    case KIND_VMWARE:
    case KIND_VIRTUAL:
        return true;
    default:
        return false;
    }
}

// "127.0.0.1 (lo)", or the address alone when it has no name.
static std::string placeText(const LocalInterface& one)
{
    return ipv4Text(one.address) + (one.name[0] != '\0' ? std::string(" (") + one.name + ")" : "");
}

static std::string interfaceLine(const Finding& f)
{
    const InterfaceDetail& d = f.local;
    std::string text = std::string("interface ") + d.one.name + ": " + ipv4Text(d.one.address);
    if (d.prefix >= 0) {
        text += "/" + std::to_string(d.prefix);
    }
    text += d.one.up ? ", up" : ", down";
    text += d.multicast ? ", multicast" : ", no multicast";
    text += std::string(", ") + kindText(d.kind);
    if (isVirtual(d.kind)) {
        text += " (virtual)";
    }
    if (d.one.tunnel) {
        text += ", a tunnel: used only when named";
    }
    if (f.chosen) {
        text += ", checked";
    }
    return text;
}

static std::string routeLine(const Finding& f)
{
    std::string group = std::string("datagrams to ") + SCAN_GROUP;
    if (f.error != 0) {
        return "route: no route for " + group + errorWords((int)f.error);
    }
    std::string by = f.hasLocal ? placeText(f.local.one) : ipv4Text(f.address);
    return "route: " + group + " leave by " + by + (f.chosen ? ", an interface checked" : ", not an interface checked");
}

static std::string hresultText(long error)
{
    char text[32];
    (void)snprintf(text, sizeof text, " (HRESULT 0x%08lX)", (unsigned long)error & 0xFFFFFFFFUL);
    return text;
}

static std::string firewallLine(const Finding& f)
{
    std::string port = std::to_string(SCAN_PORT);
    switch (f.answer) {
    case ANSWER_YES:
        return "firewall: inbound UDP " + port + " is let through";
    case ANSWER_NO:
        return "firewall: no enabled inbound rule lets UDP " + port + " through: the answers are dropped";
    case ANSWER_UNKNOWN:
        break;
    }
    return "firewall: couldn't tell whether inbound UDP " + port + " is let through" + hresultText(f.error);
}

static std::string profileLine(const Finding& f)
{
    switch (f.answer) {
    case ANSWER_YES:
        return "network profile: Public, where the firewall is strictest";
    case ANSWER_NO:
        return "network profile: not Public";
    case ANSWER_UNKNOWN:
        break;
    }
    return "network profile: couldn't tell whether it is Public" + hresultText(f.error);
}

static std::string scanLine(const Finding& f)
{
    std::string text = "scan on " + placeText(f.local.one) + ": ";
    if (f.failure.call != FAILED_NONE) {
        return text + failureText(f.failure);
    }
    return text + (f.count == 0 ? "no controller answered" : counted(f.count, "controller", "controllers"));
}

static std::string outsideLine(const Finding& f)
{
    const Response& r = f.controller.response;
    std::string text = "controller " + macText(r.mac) + " at " + ipv4Text(r.ip) + " mask " + ipv4Text(r.mask) +
                       ", heard on " + placeText(f.local.one) + ", is outside every subnet of this computer";
    if (f.fix.kind == FIX_NONE) {
        text += "; no free address in its subnet to suggest";
    }
    return text;
}

static std::string findingWords(const Finding& f)
{
    switch (f.kind) {
    case FINDING_LIST:
        return failureText(failureOf(FAILED_INTERFACES, NULL, 0));
    case FINDING_INTERFACE:
        return interfaceLine(f);
    case FINDING_CHOICE: {
        std::string text = choiceFailureText(f.choice, f.where, f.candidates, FRAME_OPTIONS);
        size_t end = text.find('\n');   // the candidates are the interface lines
        return "interfaces to check: " + text.substr(0, end);
    }
    case FINDING_ROUTE:
        return routeLine(f);
    case FINDING_PORT:
        return "port " + std::to_string(SCAN_PORT) + " on " + placeText(f.local.one) +
               (f.error == 0 ? ": can be bound" : ": can't be bound" + errorWords((int)f.error));
    case FINDING_BUFFER:
        if (f.count < 0) {
            return "receive buffer: couldn't tell" + errorWords((int)f.error);
        }
        return "receive buffer: " + std::to_string(f.count) + " bytes granted of " + std::to_string(f.asked) +
               " asked" + (f.count < f.asked ? ": answers of many controllers at once may be lost" : "");
    case FINDING_FIREWALL:
        return firewallLine(f);
    case FINDING_PROFILE:
        return profileLine(f);
    case FINDING_SCAN:
        return scanLine(f);
    case FINDING_OUTSIDE:
        return outsideLine(f);
    }
    return "";
}

std::string findingLine(const Finding& f, bool windows)
{
    char lead[16];
    (void)snprintf(lead, sizeof lead, "%-9s", severityText(f.severity));
    std::string line = lead + findingWords(f);
    std::string fix = fixCommand(f.fix, windows);
    if (!fix.empty()) {
        line += "; " + fixLead(f.fix, windows) + fix;
    }
    return line;
}

static const char* findingKindKey(FindingKind kind)
{
    const char* const keys[] = {"list",   "interface", "choice",  "route", "port",
                                "buffer", "firewall",  "profile", "scan",  "outside"};
    return keys[kind];
}

static const char* answerKey(Answer answer)
{
    return answer == ANSWER_YES ? "yes" : answer == ANSWER_NO ? "no" : "unknown";
}

static nlohmann::ordered_json interfaceJson(const InterfaceDetail& d)
{
    nlohmann::ordered_json one = nlohmann::ordered_json::object();
    one["name"] = std::string(d.one.name);
    one["adapter_name"] = std::string(d.one.adapterName);
    one["address"] = ipv4Text(d.one.address);
    one["prefix"] = d.prefix;
    one["up"] = d.one.up;
    one["multicast"] = d.multicast;
    one["kind"] = kindText(d.kind);
    one["virtual"] = isVirtual(d.kind);
    one["loopback"] = d.one.loopback;
    one["tunnel"] = d.one.tunnel;
    return one;
}

static const char* fixKindKey(FixKind kind)
{
    const char* const keys[] = {"none",           "add_address",      "allow_port",  "private_profile",
                                "receive_buffer", "show_port_holder", "group_route", "multicast_on"};
    return keys[kind];
}

nlohmann::ordered_json findingJson(const Finding& f, bool windows)
{
    nlohmann::ordered_json one = nlohmann::ordered_json::object();
    one["kind"] = findingKindKey(f.kind);
    one["severity"] = severityText(f.severity);
    one["interface"] = f.hasLocal ? interfaceJson(f.local) : nlohmann::ordered_json(nullptr);
    switch (f.kind) {
    case FINDING_INTERFACE:
    case FINDING_ROUTE:
        one["checked"] = f.chosen;
        if (f.kind == FINDING_ROUTE) {
            one["address"] =
                f.error == 0 ? nlohmann::ordered_json(ipv4Text(f.address)) : nlohmann::ordered_json(nullptr);
            one["error"] = f.error;
        }
        break;
    case FINDING_PORT:
        one["error"] = f.error;
        break;
    case FINDING_BUFFER:
        one["granted"] = f.count;
        one["asked"] = f.asked;
        one["error"] = f.error;
        break;
    case FINDING_FIREWALL:
    case FINDING_PROFILE:
        one["answer"] = answerKey(f.answer);
        one["error"] = f.error;
        break;
    case FINDING_SCAN:
        one["controllers"] = f.count;
        one["error"] = f.failure.error;
        break;
    case FINDING_OUTSIDE:
        one["mac"] = macText(f.controller.response.mac);
        one["ip"] = ipv4Text(f.controller.response.ip);
        one["mask"] = ipv4Text(f.controller.response.mask);
        break;
    case FINDING_LIST:
    case FINDING_CHOICE:
        break;
    }
    one["text"] = findingWords(f);
    nlohmann::ordered_json fix = nullptr;
    std::string command = fixCommand(f.fix, windows);
    if (f.fix.kind != FIX_NONE) {
        fix = nlohmann::ordered_json::object();
        fix["kind"] = fixKindKey(f.fix.kind);
        fix["command"] = command.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(command);
        if (f.fix.kind == FIX_ADD_ADDRESS) {
            fix["address"] = ipv4Text(f.fix.address);
            fix["prefix"] = f.fix.prefix;
        }
    }
    one["fix"] = fix;
    return one;
}

std::string doctorStatusText(int status)
{
    return status == EXIT_OK ? "every finding ok, and a controller answered"
                             : "a problem, something the system could not tell, or no controller answered";
}

nlohmann::ordered_json doctorJson(const std::vector<Finding>& findings, int status, bool windows)
{
    nlohmann::ordered_json all = nlohmann::ordered_json::object();
    all["findings"] = nlohmann::ordered_json::array();
    for (const Finding& f : findings) {
        all["findings"].push_back(findingJson(f, windows));
    }
    all["status"] = status;
    return all;
}

std::string doctorText(TextFormat format, const std::vector<Finding>& findings, int status, bool windows)
{
    if (format == FORMAT_JSON) {
        return jsonText(doctorJson(findings, status, windows), 2) + "\n";
    }
    std::string text;
    for (const Finding& f : findings) {
        text += findingLine(f, windows) + "\n";
    }
    return text;
}
