// What to check when no controller answered a scan: the interfaces asked on and the others, the
// host firewall on Windows, a network that drops multicast.
#pragma once

#include <string>
#include <vector>

#include "platform/local_interface.h"

// The rule that lets the answers through the Windows firewall, to be run as administrator.
std::string firewallRule();

// The hints, one line each: used are the interfaces asked on, candidates every interface one could
// ask on (chooseAmong's); the firewall only for Windows.
std::vector<std::string> noAnswerHints(const std::vector<LocalInterface>& used,
                                       const std::vector<LocalInterface>& candidates, bool windows);
