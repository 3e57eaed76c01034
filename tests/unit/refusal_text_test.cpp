// The words of every refusal of a target, whole: the fault, the subnet where one is named, and
// the advice on a field kept from the controller, worded for set or for a plan.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/address.h"
#include "report/refusal_text.h"

namespace {

enum Advice { GIVEN, KEPT_SET, KEPT_PLAN };   // the field at fault was given; kept, for set or a plan

struct Case {
    AddressFault fault;
    const char* address;
    Advice advice;
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

}   // namespace

TEST(RefusalText, EveryFaultWhole)
{
    const Case cases[] = {
        {FAULT_MASK_NOT_PREFIX, "255.0.255.0", GIVEN, "mask 255.0.255.0 is not a contiguous prefix"},
        {FAULT_MASK_NOT_PREFIX, "255.0.255.0", KEPT_SET,
         "mask 255.0.255.0 is not a contiguous prefix (kept from the controller; give --mask)"},
        {FAULT_MASK_NOT_PREFIX, "255.0.255.0", KEPT_PLAN,
         "mask 255.0.255.0 is not a contiguous prefix (kept from the controller; fill in its mask column)"},
        {FAULT_MASK_ZERO, "0.0.0.0", GIVEN, "mask 0.0.0.0 leaves no subnet"},
        {FAULT_MASK_ZERO, "0.0.0.0", KEPT_PLAN,
         "mask 0.0.0.0 leaves no subnet (kept from the controller; fill in its mask column)"},
        {FAULT_IP_ZERO, "0.0.0.0", GIVEN, "IP 0.0.0.0 is no host address"},
        {FAULT_IP_ZERO, "0.0.0.0", KEPT_SET, "IP 0.0.0.0 is no host address (kept from the controller; give --ip)"},
        {FAULT_IP_ALL_ONES, "255.255.255.255", GIVEN, "IP 255.255.255.255 is the broadcast address"},
        {FAULT_IP_LOOPBACK, "127.0.0.5", GIVEN, "IP 127.0.0.5 is a loopback address (127.0.0.0/8)"},
        {FAULT_IP_MULTICAST, "239.1.2.3", GIVEN, "IP 239.1.2.3 is a multicast address (224.0.0.0/4)"},
        {FAULT_IP_RESERVED, "250.0.0.1", GIVEN, "IP 250.0.0.1 is reserved (240.0.0.0/4)"},
        {FAULT_IP_NETWORK, "10.1.2.0", GIVEN, "IP 10.1.2.0 is the network address of its subnet 10.1.2.0/23",
         "10.1.2.0", "255.255.254.0"},
        {FAULT_IP_BROADCAST, "10.1.3.255", GIVEN, "IP 10.1.3.255 is the broadcast address of its subnet 10.1.2.0/23",
         "10.1.3.255", "255.255.254.0"},
        {FAULT_IP_BROADCAST, "10.1.3.255", KEPT_PLAN,
         "IP 10.1.3.255 is the broadcast address of its subnet 10.1.2.0/23 (kept from the controller; fill in its "
         "ip column)",
         "10.1.3.255", "255.255.254.0"},
        {FAULT_GATEWAY_OUTSIDE, "10.0.0.1", GIVEN,
         "gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.50"},
        {FAULT_GATEWAY_OUTSIDE, "10.0.0.1", KEPT_SET,
         "gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.50" + GIVE_GATEWAY},
        {FAULT_GATEWAY_OUTSIDE, "10.0.0.1", KEPT_PLAN,
         "gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.50" + FILL_GATEWAY},
        {FAULT_GATEWAY_OUTSIDE, "192.168.1.1", GIVEN,
         "gateway 192.168.1.1 is outside the subnet 192.168.1.50/32 of IP 192.168.1.50", "192.168.1.50",
         "255.255.255.255"},
        {FAULT_GATEWAY_IS_IP, "192.168.1.50", GIVEN, "gateway 192.168.1.50 is the IP itself"},
        {FAULT_GATEWAY_IS_IP, "192.168.1.50", KEPT_SET, "gateway 192.168.1.50 is the IP itself" + GIVE_GATEWAY},
        {FAULT_GATEWAY_NETWORK, "192.168.1.0", GIVEN,
         "gateway 192.168.1.0 is the network address of the subnet 192.168.1.0/24"},
        {FAULT_GATEWAY_BROADCAST, "192.168.1.255", KEPT_PLAN,
         "gateway 192.168.1.255 is the broadcast address of the subnet 192.168.1.0/24" + FILL_GATEWAY},
        {FAULT_GATEWAY_BROADCAST, "10.255.255.255", GIVEN,
         "gateway 10.255.255.255 is the broadcast address of the subnet 10.0.0.0/8", "10.1.2.3", "255.0.0.0"},
        // An IP kept by another controller or taken by this computer: the advice would not help.
        {FAULT_IP_IN_USE, "192.168.1.50", GIVEN, "IP 192.168.1.50 is in use by 00.1a.2b.3c.4d.09, which keeps it"},
        {FAULT_IP_IN_USE, "192.168.1.50", KEPT_SET, "IP 192.168.1.50 is in use by 00.1a.2b.3c.4d.09, which keeps it"},
        {FAULT_IP_LOCAL, "10.9.0.1", GIVEN, "IP 10.9.0.1 is an address of this computer"},
        {FAULT_IP_LOCAL, "10.9.0.1", KEPT_PLAN, "IP 10.9.0.1 is an address of this computer"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refusalText(refusal(c), c.advice == KEPT_PLAN), "00.1a.2b.3c.4d.01: " + c.expected);
        if (c.advice == GIVEN) {   // given, the wording is the same whether from set or a plan
            EXPECT_EQ(refusalText(refusal(c), true), "00.1a.2b.3c.4d.01: " + c.expected);
        }
    }
}
