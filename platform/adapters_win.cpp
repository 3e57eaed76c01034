// The local IPv4 addresses from the adapters (iphlpapi), with their names, state and type. Apart
// from the rest of the platform layer: iphlpapi's header needs Winsock 2's, the rest Winsock 1.1.
#include <winsock2.h>   // first: iphlpapi.h needs it, and windows.h must not bring Winsock 1.1

#include <iphlpapi.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

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

int listLocalInterfaces(LocalInterface* list, int capacity)
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
    int count = 0;
    for (const IP_ADAPTER_ADDRESSES* a = (const IP_ADAPTER_ADDRESSES*)buffer.data(); a != NULL; a = a->Next) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != NULL && count < capacity; u = u->Next) {
            const sockaddr* address = u->Address.lpSockaddr;
            if (address == NULL || address->sa_family != AF_INET) {
                continue;
            }
            LocalInterface& one = list[count++];
            memset(&one, 0, sizeof one);
            utf8Name(a->FriendlyName, one.name, (int)sizeof one.name);
            (void)snprintf(one.adapterName, sizeof one.adapterName, "%s", a->AdapterName);
            memcpy(one.address, &((const sockaddr_in*)address)->sin_addr, sizeof one.address);
            one.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            one.up = a->OperStatus == IfOperStatusUp;
            one.tunnel = isTunnelType(a->IfType);
        }
    }
    return count;
}
