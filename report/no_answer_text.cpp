#include "report/no_answer_text.h"

#include <cstring>

#include "protocol/messages.h"
#include "report/cells.h"

std::string firewallRule()
{
    return "netsh advfirewall firewall add rule name=\"brevindor\" dir=in action=allow protocol=UDP localport=" +
           std::to_string(SCAN_PORT);
}

static std::string interfaceText(const LocalInterface& one)
{
    std::string text = ipv4Text(one.address);
    if (one.name[0] != '\0') {
        text += std::string(" (") + one.name + (one.tunnel ? ", a tunnel)" : ")");
    }
    return text;
}

static std::string listText(const std::vector<LocalInterface>& list)
{
    std::string text;
    for (const LocalInterface& one : list) {
        text += (text.empty() ? "" : ", ") + interfaceText(one);
    }
    return text;
}

static bool isUsed(const std::vector<LocalInterface>& used, const LocalInterface& one)
{
    for (const LocalInterface& u : used) {
        if (memcmp(u.address, one.address, sizeof u.address) == 0) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> noAnswerHints(const std::vector<LocalInterface>& used,
                                       const std::vector<LocalInterface>& candidates, bool windows)
{
    std::vector<std::string> hints;
    hints.push_back("asked on " + listText(used));
    std::vector<LocalInterface> others;
    for (const LocalInterface& c : candidates) {
        if (!isUsed(used, c)) {
            others.push_back(c);
        }
    }
    if (!others.empty()) {
        hints.push_back("the controllers may be on another interface: " + listText(others));
    }
    if (windows) {
        hints.push_back("the Windows firewall may drop the answers: allow UDP port " + std::to_string(SCAN_PORT) +
                        " in, as administrator:");
        hints.push_back("  " + firewallRule());
    }
    hints.push_back(std::string("a VLAN, or a switch that drops multicast, may keep the request (group ") + SCAN_GROUP +
                    ") from the controllers");
    return hints;
}
