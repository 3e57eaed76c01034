#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/computer.h"
#include "platform/platform.h"

// SIOCGIWNAME of linux/wireless.h, whose header can't be had together with net/if.h.
const unsigned long WIRELESS_NAME = 0x8B01;

// ARPHRD_* values (linux/if_arp.h).
enum {
    HW_ETHER = 1,
    HW_PPP = 512,
    HW_TUNNEL = 768,
    HW_TUNNEL6 = 769,
    HW_SIT = 776,
    HW_IPGRE = 778,
    HW_IP6GRE = 823,
    HW_NONE = 65534,
};

// The interface's name for an ioctl (an alias "eth0:1" is eth0's).
static void nameRequest(ifreq* request, const char* name)
{
    memset(request, 0, sizeof *request);
    (void)snprintf(request->ifr_name, sizeof request->ifr_name, "%.*s", (int)strcspn(name, ":"), name);
}

// What the interface's driver tells ethtool: its name ("veth", "bridge", "tun", "wireguard") and
// bus ("tun" or "tap" for a tun device); false when it tells nothing. Asked by ioctl rather than
// read from /sys/class/net, which shows the network namespace of whoever mounted it.
static bool driverOf(int s, const char* name, std::string* driver, std::string* bus)
{
    ethtool_drvinfo info;
    memset(&info, 0, sizeof info);
    info.cmd = ETHTOOL_GDRVINFO;
    ifreq request;
    nameRequest(&request, name);
    request.ifr_data = (char*)&info;
    if (ioctl(s, SIOCETHTOOL, &request) != 0) {
        return false;
    }
    info.driver[sizeof info.driver - 1] = '\0';
    info.bus_info[sizeof info.bus_info - 1] = '\0';
    *driver = info.driver;
    *bus = info.bus_info;
    return true;
}

// The hardware type (ARPHRD_*), or -1.
static int hardwareOf(int s, const char* name)
{
    ifreq request;
    nameRequest(&request, name);
    return ioctl(s, SIOCGIFHWADDR, &request) == 0 ? request.ifr_hwaddr.sa_family : -1;
}

// True when the interface answers the wireless extensions' first question.
static bool isWireless(int s, const char* name)
{
    ifreq request;   // room for the answer, a name in place of the request's union
    nameRequest(&request, name);
    return ioctl(s, WIRELESS_NAME, &request) == 0;
}

static InterfaceKind kindOf(int s, const char* name, unsigned flags)
{
    if ((flags & IFF_LOOPBACK) != 0) {
        return KIND_LOOPBACK;
    }
    if (strncmp(name, "docker", 6) == 0) {
        return KIND_DOCKER;
    }
    std::string driver, bus;
    if (driverOf(s, name, &driver, &bus)) {
        if (driver == "veth") {
            return KIND_VETH;
        }
        if (driver == "bridge") {
            return KIND_BRIDGE;
        }
        if (driver == "tun") {
            return bus == "tap" ? KIND_TAP : KIND_TUN;
        }
        if (driver == "wireguard") {
            return KIND_VPN;
        }
    }
    if (isWireless(s, name)) {
        return KIND_WIRELESS;
    }
    switch (hardwareOf(s, name)) {
    case HW_ETHER:
        return KIND_ETHERNET;
    case HW_PPP:
        return KIND_PPP;
    case HW_TUNNEL:
    case HW_TUNNEL6:
    case HW_SIT:
    case HW_IPGRE:
    case HW_IP6GRE:
    case HW_NONE:
        return KIND_TUNNEL;
    default:
        return KIND_OTHER;
    }
}

static int prefixOf(const sockaddr* netmask)
{
    if (netmask == NULL || netmask->sa_family != AF_INET) {
        return -1;
    }
    uint32_t mask = ntohl(((const sockaddr_in*)netmask)->sin_addr.s_addr);
    int prefix = 0;
    while (prefix < 32 && (mask & (0x80000000U >> prefix)) != 0) {
        ++prefix;
    }
    return prefix;
}

int listInterfaceDetails(InterfaceDetail* list, int capacity)
{
    struct ifaddrs* all;
    if (getifaddrs(&all) != 0) {
        return -1;
    }
    int s = socket(AF_INET, SOCK_DGRAM, 0);   // for the questions about each interface
    int count = 0;
    for (struct ifaddrs* ifa = all; ifa != NULL && count < capacity; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == NULL || ifa->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        InterfaceDetail& d = list[count++];
        memset(&d, 0, sizeof d);
        // As listLocalInterfaces fills it.
        (void)snprintf(d.one.name, sizeof d.one.name, "%s", ifa->ifa_name);
        memcpy(d.one.address, &((const sockaddr_in*)ifa->ifa_addr)->sin_addr, sizeof d.one.address);
        d.one.loopback = (ifa->ifa_flags & IFF_LOOPBACK) != 0;
        d.one.up = (ifa->ifa_flags & IFF_UP) != 0;
        d.one.tunnel = (ifa->ifa_flags & IFF_POINTOPOINT) != 0;
        d.prefix = prefixOf(ifa->ifa_netmask);
        d.multicast = (ifa->ifa_flags & IFF_MULTICAST) != 0;
        d.kind = s >= 0 ? kindOf(s, ifa->ifa_name, ifa->ifa_flags) : KIND_OTHER;
    }
    if (s >= 0) {
        close(s);
    }
    freeifaddrs(all);
    return count;
}

int grantedReceiveBuffer(int bytes, int* error)
{
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) {
        *error = errno;
        return -1;
    }
    int granted = -1;
    socklen_t length = sizeof granted;
    if (!setReceiveBuffer(s, bytes)) {
        *error = errno;
    } else if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0) {
        *error = errno;
        granted = -1;
    } else {
        granted /= 2;   // Linux reports twice what it grants: its bookkeeping is counted in
    }
    close(s);
    return granted;
}

FirewallFacts firewallFacts(int)
{
    FirewallFacts facts;
    memset(&facts, 0, sizeof facts);
    facts.asked = false;
    return facts;
}

int routeToGroup(const char* group, int port, unsigned char* local)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        return WSAGetLastError();
    }
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons((unsigned short)port);
    to.sin_addr.s_addr = inet_addr(group);
    int error = 0;
    sockaddr_in own;
    memset(&own, 0, sizeof own);
    socklen_t length = sizeof own;
    if (connect(s, (const sockaddr*)&to, sizeof to) == SOCKET_ERROR ||
        getsockname(s, (sockaddr*)&own, &length) == SOCKET_ERROR) {
        error = WSAGetLastError();
    } else {
        memcpy(local, &own.sin_addr, 4);
    }
    closesocket(s);
    return error;
}

int tryBind(const unsigned char* address, int port)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        return WSAGetLastError();
    }
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_port = htons((unsigned short)port);
    memcpy(&at.sin_addr, address, 4);
    int error = bind(s, (const sockaddr*)&at, sizeof at) == SOCKET_ERROR ? WSAGetLastError() : 0;
    closesocket(s);
    return error;
}
