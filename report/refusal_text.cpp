#include "report/refusal_text.h"

#include "report/cells.h"

// The IP's subnet as network/prefix.
static std::string subnet(const Refusal& r)
{
    unsigned char network[IPV4_LEN];
    int bits = 0;
    for (int i = 0; i < IPV4_LEN; ++i) {
        network[i] = (unsigned char)(r.ip[i] & r.mask[i]);
        for (int b = 0; b < 8; ++b) {
            bits += (r.mask[i] >> b) & 1;
        }
    }
    return ipv4Text(network) + "/" + std::to_string(bits);
}

static std::string fault(const Refusal& r)
{
    const std::string a = ipv4Text(r.address);
    switch (r.fault) {
    case FAULT_MASK_NOT_PREFIX:
        return "mask " + a + " is not a contiguous prefix";
    case FAULT_MASK_ZERO:
        return "mask 0.0.0.0 leaves no subnet";
    case FAULT_IP_ZERO:
        return "IP 0.0.0.0 is no host address";
    case FAULT_IP_ALL_ONES:
        return "IP 255.255.255.255 is the broadcast address";
    case FAULT_IP_LOOPBACK:
        return "IP " + a + " is a loopback address (127.0.0.0/8)";
    case FAULT_IP_MULTICAST:
        return "IP " + a + " is a multicast address (224.0.0.0/4)";
    case FAULT_IP_RESERVED:
        return "IP " + a + " is reserved (240.0.0.0/4)";
    case FAULT_IP_NETWORK:
        return "IP " + a + " is the network address of its subnet " + subnet(r);
    case FAULT_IP_BROADCAST:
        return "IP " + a + " is the broadcast address of its subnet " + subnet(r);
    case FAULT_GATEWAY_OUTSIDE:
        return "gateway " + a + " is outside the subnet " + subnet(r) + " of IP " + ipv4Text(r.ip);
    case FAULT_GATEWAY_IS_IP:
        return "gateway " + a + " is the IP itself";
    case FAULT_GATEWAY_NETWORK:
        return "gateway " + a + " is the network address of the subnet " + subnet(r);
    case FAULT_GATEWAY_BROADCAST:
        return "gateway " + a + " is the broadcast address of the subnet " + subnet(r);
    case FAULT_IP_IN_USE:
        return "IP " + a + " is in use by " + macText(r.holder) + ", which keeps it";
    case FAULT_IP_LOCAL:
        return "IP " + a + " is an address of this computer";
    }
    return "";
}

// How to give the field that was kept from the controller.
static std::string advice(const Refusal& r, Frame frame)
{
    bool gateway = r.fault >= FAULT_GATEWAY_OUTSIDE && r.fault <= FAULT_GATEWAY_BROADCAST;
    const char* field = gateway ? "gateway" : r.fault <= FAULT_MASK_ZERO ? "mask" : "ip";
    std::string text = " (kept from the controller; ";
    switch (frame) {
    case FRAME_PLAN:
        return text + "fill in its " + field + " column" + (gateway ? ", or 0.0.0.0 for none)" : ")");
    case FRAME_PAGE:
        return text + "type its " +
               (gateway                      ? "gateway, or 0.0.0.0 for none)"
                : r.fault <= FAULT_MASK_ZERO ? "mask)"
                                             : "IP)");
    case FRAME_OPTIONS:
        break;
    }
    return text + "give --" + field + (gateway ? ", or --gateway 0.0.0.0 for none)" : ")");
}

std::string refusalText(const Refusal& r, Frame frame)
{
    std::string text = macText(r.mac) + ": " + fault(r);
    if (r.kept && r.fault != FAULT_IP_IN_USE && r.fault != FAULT_IP_LOCAL) {
        text += advice(r, frame);
    }
    return text;
}
