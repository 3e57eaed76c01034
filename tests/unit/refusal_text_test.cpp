// The words of every refusal of a target, whole: the fault, the subnet where one is named, and
// the advice on a field kept from the controller, worded for set or for a plan.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/address.h"
#include "report/refusal_text.h"

namespace {

// The field at fault was given; kept, for set, a plan or the page.
enum Advice { GIVEN, KEPT_SET, KEPT_PLAN, KEPT_PAGE };

Frame frameOf(Advice advice)
{
    return advice == KEPT_PLAN ? FRAME_PLAN : advice == KEPT_PAGE ? FRAME_PAGE : FRAME_OPTIONS;
}

struct Case {
    AddressFault fault;
    Advice advice;
    const char* address;
    std::string expected;   // after "00.1a.2b.3c.4d.01: "
    const char* ip = "192.168.1.50";
    const char* mask = "255.255.255.0";
};

Refusal refusal(const Case& c)
{
    Refusal r;
    memset(&r, 0, sizeof r);
    r.line = 3;
    const unsigned char mac[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x01};
    const unsigned char holder[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x09};
    memcpy(r.mac, mac, MAC_LEN);
    memcpy(r.holder, holder, MAC_LEN);
    r.fault = c.fault;
    r.kept = c.advice != GIVEN;
    EXPECT_TRUE(parseIpv4(c.address, r.address)) << c.address;
    EXPECT_TRUE(parseIpv4(c.ip, r.ip)) << c.ip;
    EXPECT_TRUE(parseIpv4(c.mask, r.mask)) << c.mask;
    return r;
}

const std::string GIVE_GATEWAY = " (kept from the controller; give --gateway, or --gateway 0.0.0.0 for none)";
const std::string FILL_GATEWAY = " (kept from the controller; fill in its gateway column, or 0.0.0.0 for none)";
const std::string TYPE_GATEWAY = " (kept from the controller; type its gateway, or 0.0.0.0 for none)";

}   // namespace

TEST(RefusalText, EveryFaultWhole)
{
    const Case cases[] = {
        {FAULT_MASK_NOT_PREFIX, GIVEN, "255.0.255.0", "mask 255.0.255.0 is not a contiguous prefix"},
        {FAULT_MASK_NOT_PREFIX, KEPT_SET, "255.0.255.0",
         "mask 255.0.255.0 is not a contiguous prefix (kept from the controller; give --mask)"},
        {FAULT_MASK_NOT_PREFIX, KEPT_PLAN, "255.0.255.0",
         "mask 255.0.255.0 is not a contiguous prefix (kept from the controller; fill in its mask column)"},
        {FAULT_MASK_NOT_PREFIX, KEPT_PAGE, "255.0.255.0",
         "mask 255.0.255.0 is not a contiguous prefix (kept from the controller; type its mask)"},
        {FAULT_MASK_ZERO, GIVEN, "0.0.0.0", "mask 0.0.0.0 leaves no subnet"},
        {FAULT_MASK_ZERO, KEPT_PLAN, "0.0.0.0",
         "mask 0.0.0.0 leaves no subnet (kept from the controller; fill in its mask column)"},
        {FAULT_IP_ZERO, GIVEN, "0.0.0.0", "IP 0.0.0.0 is no host address"},
        {FAULT_IP_ZERO, KEPT_SET, "0.0.0.0", "IP 0.0.0.0 is no host address (kept from the controller; give --ip)"},
        {FAULT_IP_ZERO, KEPT_PAGE, "0.0.0.0", "IP 0.0.0.0 is no host address (kept from the controller; type its IP)"},
        {FAULT_IP_ALL_ONES, GIVEN, "255.255.255.255", "IP 255.255.255.255 is the broadcast address"},
        {FAULT_IP_LOOPBACK, GIVEN, "127.0.0.5", "IP 127.0.0.5 is a loopback address (127.0.0.0/8)"},
        {FAULT_IP_MULTICAST, GIVEN, "239.1.2.3", "IP 239.1.2.3 is a multicast address (224.0.0.0/4)"},
        {FAULT_IP_RESERVED, GIVEN, "250.0.0.1", "IP 250.0.0.1 is reserved (240.0.0.0/4)"},
        {FAULT_IP_NETWORK, GIVEN, "10.1.2.0", "IP 10.1.2.0 is the network address of its subnet 10.1.2.0/23",
         "10.1.2.0", "255.255.254.0"},
        {FAULT_IP_BROADCAST, GIVEN, "10.1.3.255", "IP 10.1.3.255 is the broadcast address of its subnet 10.1.2.0/23",
         "10.1.3.255", "255.255.254.0"},
        {FAULT_IP_BROADCAST, KEPT_PLAN, "10.1.3.255",
         "IP 10.1.3.255 is the broadcast address of its subnet 10.1.2.0/23 (kept from the controller; fill in its "
         "ip column)",
         "10.1.3.255", "255.255.254.0"},
        {FAULT_GATEWAY_OUTSIDE, GIVEN, "10.0.0.1",
         "gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.50"},
        {FAULT_GATEWAY_OUTSIDE, KEPT_SET, "10.0.0.1",
         "gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.50" + GIVE_GATEWAY},
        {FAULT_GATEWAY_OUTSIDE, KEPT_PLAN, "10.0.0.1",
         "gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.50" + FILL_GATEWAY},
        {FAULT_GATEWAY_OUTSIDE, KEPT_PAGE, "10.0.0.1",
         "gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.50" + TYPE_GATEWAY},
        {FAULT_GATEWAY_OUTSIDE, GIVEN, "192.168.1.1",
         "gateway 192.168.1.1 is outside the subnet 192.168.1.50/32 of IP 192.168.1.50", "192.168.1.50",
         "255.255.255.255"},
        {FAULT_GATEWAY_IS_IP, GIVEN, "192.168.1.50", "gateway 192.168.1.50 is the IP itself"},
        {FAULT_GATEWAY_IS_IP, KEPT_SET, "192.168.1.50", "gateway 192.168.1.50 is the IP itself" + GIVE_GATEWAY},
        {FAULT_GATEWAY_NETWORK, GIVEN, "192.168.1.0",
         "gateway 192.168.1.0 is the network address of the subnet 192.168.1.0/24"},
        {FAULT_GATEWAY_BROADCAST, KEPT_PLAN, "192.168.1.255",
         "gateway 192.168.1.255 is the broadcast address of the subnet 192.168.1.0/24" + FILL_GATEWAY},
        {FAULT_GATEWAY_BROADCAST, GIVEN, "10.255.255.255",
         "gateway 10.255.255.255 is the broadcast address of the subnet 10.0.0.0/8", "10.1.2.3", "255.0.0.0"},
        // An IP kept by another controller or taken by this computer: the advice would not help.
        {FAULT_IP_IN_USE, GIVEN, "192.168.1.50", "IP 192.168.1.50 is in use by 00.1a.2b.3c.4d.09, which keeps it"},
        {FAULT_IP_IN_USE, KEPT_SET, "192.168.1.50", "IP 192.168.1.50 is in use by 00.1a.2b.3c.4d.09, which keeps it"},
        {FAULT_IP_LOCAL, GIVEN, "10.9.0.1", "IP 10.9.0.1 is an address of this computer"},
        {FAULT_IP_LOCAL, KEPT_PLAN, "10.9.0.1", "IP 10.9.0.1 is an address of this computer"},
        {FAULT_IP_LOCAL, KEPT_PAGE, "10.9.0.1", "IP 10.9.0.1 is an address of this computer"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refusalText(refusal(c), frameOf(c.advice)), "00.1a.2b.3c.4d.01: " + c.expected);
        if (c.advice == GIVEN) {   // given, the wording is the same wherever it is read
            for (Frame frame : {FRAME_PLAN, FRAME_PAGE}) {
                EXPECT_EQ(refusalText(refusal(c), frame), "00.1a.2b.3c.4d.01: " + c.expected);
            }
        }
    }
}
