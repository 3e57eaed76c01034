// What a check of this computer asks beyond the interface choice: each interface's prefix, its
// multicast flag and its kind; the interface the routes send the group's datagrams by; whether
// the scan port can be bound; the receive buffer granted; on Windows the firewall and the
// network's profile. Apart from the classic program's OS layer: nothing of it runs there.
#pragma once

#include "platform/local_interface.h"

// What an interface is, as far as the system tells. The virtual kinds are marked in the check.
enum InterfaceKind {
    KIND_ETHERNET,
    KIND_WIRELESS,
    KIND_LOOPBACK,
    KIND_PPP,
    KIND_TUNNEL,   // an IP tunnel (GRE, IPIP, SIT, Windows' tunnel types)
    KIND_TUN,      // a tun device (Linux), as VPNs make
    KIND_TAP,      // a tap device (Linux)
    KIND_VETH,     // one end of a virtual Ethernet pair (Linux)
    KIND_BRIDGE,   // a software bridge (Linux)
    KIND_DOCKER,   // docker's bridge (Linux, by name)
    KIND_VPN,      // a VPN adapter (WireGuard on Linux; by its description on Windows)
    KIND_HYPERV,   // Windows: a Hyper-V virtual adapter
    KIND_VIRTUALBOX,
    KIND_VMWARE,
    KIND_VIRTUAL,   // another virtual adapter
    KIND_OTHER,
};

// One local IPv4 address with what the interface choice does not need.
struct InterfaceDetail {
    LocalInterface one;   // as listLocalInterfaces gives it
    int prefix;           // the length of its subnet's prefix, 0 to 32; -1 when not told
    bool multicast;       // the interface takes multicast
    InterfaceKind kind;
};

// The local IPv4 addresses as listLocalInterfaces lists them, with their details, at most
// capacity of them. Returns the count, or -1 when the list can't be had.
int listInterfaceDetails(InterfaceDetail* list, int capacity);

// The local address a datagram to group:port would leave from, as the routes choose it (a
// datagram socket connected there, then asked its own address). 0, or the error number.
int routeToGroup(const char* group, int port, unsigned char* local);

// 0 when a datagram socket can be bound to address:port now (closed again at once), or the
// error number of the failure.
int tryBind(const unsigned char* address, int port);

// The receive buffer the system grants a datagram socket asked for bytes as the scan asks
// (setReceiveBuffer), in bytes; -1 on failure, *error then the error number.
int grantedReceiveBuffer(int bytes, int* error);

// An answer of the system: yes, no, or couldn't tell (then the error code says why).
enum Answer { ANSWER_YES, ANSWER_NO, ANSWER_UNKNOWN };

struct FirewallFacts {
    bool asked;              // false where the check is not made (Linux)
    Answer inboundAllowed;   // an enabled inbound rule allows UDP to the port, or the firewall is off
    long inboundError;       // the HRESULT when couldn't tell
    Answer publicProfile;    // the current network profile is Public
    long profileError;       // the HRESULT when couldn't tell
};

// Windows: the firewall's policy (INetFwPolicy2) for inbound UDP to port, and the profile.
// Elsewhere asked is false.
FirewallFacts firewallFacts(int port);
