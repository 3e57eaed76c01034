// The local IPv4 addresses from the adapters (iphlpapi), with their names, state and type, and the
// details a check of the computer shows. Apart from the rest of the platform layer: iphlpapi's
// header needs Winsock 2's, the rest Winsock 1.1.
#include <winsock2.h>   // first: iphlpapi.h needs it, and windows.h must not bring Winsock 1.1

#include <iphlpapi.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <vector>

#include "platform/computer.h"
#include "platform/local_interface.h"

// The UTF-8 form of a wide name in out (size bytes), cut at a character's end when too long.
static void utf8Name(const wchar_t* wide, char* out, int size)
{
    out[0] = '\0';
    if (wide == NULL) {
        return;
    }
    char whole[4 * 256];
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, whole, (int)sizeof whole, NULL, NULL);
    if (n <= 0) {
        return;
    }
    int keep = n - 1;   // without the terminating zero
    if (keep > size - 1) {
        keep = size - 1;
        while (keep > 0 && ((unsigned char)whole[keep] & 0xC0) == 0x80) {
            --keep;   // not inside a character
        }
    }
    memcpy(out, whole, (size_t)keep);
    out[keep] = '\0';
}

static bool isTunnelType(IFTYPE type)
{
    return type == IF_TYPE_PPP || type == IF_TYPE_TUNNEL || type == IF_TYPE_PROP_VIRTUAL;
}

// Calls each for every IPv4 address of every adapter, until it returns false. -1 when the list
// can't be had, else 0.
static int eachAddress(const std::function<bool(const IP_ADAPTER_ADDRESSES&, const IP_ADAPTER_UNICAST_ADDRESS&)>& each)
{
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the call that sizes it and the one that fills it.
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET, flags, NULL, (IP_ADAPTER_ADDRESSES*)buffer.data(), &size);
    }
    if (result == ERROR_NO_DATA) {
        return 0;
    }
    if (result != ERROR_SUCCESS) {
        return -1;
    }
    for (const IP_ADAPTER_ADDRESSES* a = (const IP_ADAPTER_ADDRESSES*)buffer.data(); a != NULL; a = a->Next) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != NULL; u = u->Next) {
            const sockaddr* address = u->Address.lpSockaddr;
            if (address != NULL && address->sa_family == AF_INET && !each(*a, *u)) {
                return 0;
            }
        }
    }
    return 0;
}

static void fill(LocalInterface& one, const IP_ADAPTER_ADDRESSES& a, const IP_ADAPTER_UNICAST_ADDRESS& u)
{
    memset(&one, 0, sizeof one);
    utf8Name(a.FriendlyName, one.name, (int)sizeof one.name);
    (void)snprintf(one.adapterName, sizeof one.adapterName, "%s", a.AdapterName);
    memcpy(one.address, &((const sockaddr_in*)u.Address.lpSockaddr)->sin_addr, sizeof one.address);
    one.loopback = a.IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    one.up = a.OperStatus == IfOperStatusUp;
    one.tunnel = isTunnelType(a.IfType);
}

int listLocalInterfaces(LocalInterface* list, int capacity)
{
    int count = 0;
    int result = eachAddress([&](const IP_ADAPTER_ADDRESSES& a, const IP_ADAPTER_UNICAST_ADDRESS& u) {
        if (count == capacity) {
            return false;
        }
        fill(list[count++], a, u);
        return true;
    });
    return result < 0 ? -1 : count;
}

// True when the adapter's description holds word, in any case.
static bool described(const IP_ADAPTER_ADDRESSES& a, const wchar_t* word)
{
    if (a.Description == NULL) {
        return false;
    }
    size_t n = wcslen(word);
    for (const wchar_t* at = a.Description; *at != L'\0'; ++at) {
        if (_wcsnicmp(at, word, n) == 0) {
            return true;
        }
    }
    return false;
}

static InterfaceKind kindOf(const IP_ADAPTER_ADDRESSES& a)
{
    if (a.IfType == IF_TYPE_SOFTWARE_LOOPBACK) {
        return KIND_LOOPBACK;
    }
    if (described(a, L"Hyper-V")) {
        return KIND_HYPERV;
    }
    if (described(a, L"VirtualBox")) {
        return KIND_VIRTUALBOX;
    }
    if (described(a, L"VMware")) {
        return KIND_VMWARE;
    }
    const wchar_t* const vpns[] = {L"VPN", L"TAP-Windows", L"WireGuard", L"Wintun", L"AnyConnect", L"OpenVPN"};
    for (const wchar_t* word : vpns) {
        if (described(a, word)) {
            return KIND_VPN;
        }
    }
    switch (a.IfType) {
    case IF_TYPE_ETHERNET_CSMACD:
        return KIND_ETHERNET;
    case IF_TYPE_IEEE80211:
        return KIND_WIRELESS;
    case IF_TYPE_PPP:
        return KIND_PPP;
    case IF_TYPE_TUNNEL:
        return KIND_TUNNEL;
    case IF_TYPE_PROP_VIRTUAL:
        return KIND_VIRTUAL;
    default:
        return KIND_OTHER;
    }
}

int listInterfaceDetails(InterfaceDetail* list, int capacity)
{
    int count = 0;
    int result = eachAddress([&](const IP_ADAPTER_ADDRESSES& a, const IP_ADAPTER_UNICAST_ADDRESS& u) {
        if (count == capacity) {
            return false;
        }
        InterfaceDetail& d = list[count++];
        memset(&d, 0, sizeof d);
        fill(d.one, a, u);
        d.prefix = u.OnLinkPrefixLength <= 32 ? (int)u.OnLinkPrefixLength : -1;
        d.multicast = (a.Flags & IP_ADAPTER_NO_MULTICAST) == 0;
        d.kind = kindOf(a);
        return true;
    });
    return result < 0 ? -1 : count;
}
