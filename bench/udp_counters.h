// The kernel's UDP error counters of this network namespace, read before and after a run to tell
// whether any datagram was dropped.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

struct UdpCounters {
    long long inErrors = -1;
    long long rcvbufErrors = -1;
};

inline UdpCounters readUdpCounters()
{
    UdpCounters c;
    std::ifstream in("/proc/net/snmp");
    std::string names, values;
    while (std::getline(in, names)) {
        if (names.rfind("Udp: ", 0) != 0 || !std::getline(in, values)) {
            continue;
        }
        std::istringstream n(names), v(values);
        std::string name, value;
        while (n >> name && v >> value) {
            if (name == "InErrors") {
                c.inErrors = std::stoll(value);
            } else if (name == "RcvbufErrors") {
                c.rcvbufErrors = std::stoll(value);
            }
        }
        break;
    }
    return c;
}
