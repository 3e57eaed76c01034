// The local interfaces as the interface choice sees them. Apart from the socket headers, for the
// Windows adapter listing, which needs Winsock 2's.
#pragma once

// One local IPv4 address and the interface it belongs to.
const int INTERFACE_NAME_LEN = 64;
struct LocalInterface {
    char name[INTERFACE_NAME_LEN];          // the name shown: Linux's, or Windows' friendly name (UTF-8)
    char adapterName[INTERFACE_NAME_LEN];   // Windows' adapter name ("{GUID}"); empty on Linux
    unsigned char address[4];
    bool loopback;
    bool up;
    bool tunnel;   // VPN, PPP or another tunnel: used only when named
};

// The local IPv4 addresses of the interfaces, up or down, loopback included, at most capacity of
// them, with their names. Linux lists its interfaces (point-to-point ones count as tunnels);
// Windows its adapters (GetAdaptersAddresses: up is "operational", tunnels are the PPP, tunnel
// and virtual types). Returns the count, or -1 when the list can't be had.
int listLocalInterfaces(LocalInterface* list, int capacity);
