#include <gtest/gtest.h>

#include <vector>

#include "commission/address_rules.h"
#include "protocol/address.h"

TEST(AddressRules, Verdicts)
{
    const struct {
        const char* ip;
        const char* gateway;
        const char* mask;
        std::vector<AddressFault> faults;
    } cases[] = {
        {"192.168.1.101", "192.168.1.254", "255.255.255.0", {}},
        {"192.168.1.101", "0.0.0.0", "255.255.255.0", {}},
        {"10.0.0.1", "0.0.0.0", "255.255.255.254", {}},   // /31: both ends are hosts
        {"10.0.0.1", "0.0.0.0", "255.255.255.255", {}},
        {"10.0.0.5", "10.0.0.1", "255.255.0.255", {FAULT_MASK_NOT_PREFIX}},
        {"10.0.0.5", "10.0.0.1", "0.0.0.0", {FAULT_MASK_ZERO}},
        {"0.0.0.0", "0.0.0.0", "255.255.255.0", {FAULT_IP_ZERO}},
        {"255.255.255.255", "0.0.0.0", "255.255.255.0", {FAULT_IP_ALL_ONES}},
        {"127.0.0.5", "0.0.0.0", "255.0.0.0", {FAULT_IP_LOOPBACK}},
        {"224.0.0.1", "0.0.0.0", "255.255.255.0", {FAULT_IP_MULTICAST}},
        {"239.255.255.250", "0.0.0.0", "255.255.255.0", {FAULT_IP_MULTICAST}},
        {"240.0.0.1", "0.0.0.0", "255.255.255.0", {FAULT_IP_RESERVED}},
        {"192.168.1.0", "192.168.1.1", "255.255.255.0", {FAULT_IP_NETWORK}},
        {"192.168.1.255", "192.168.1.1", "255.255.255.0", {FAULT_IP_BROADCAST}},
        {"10.0.0.4", "0.0.0.0", "255.255.255.252", {FAULT_IP_NETWORK}},
        {"10.0.0.7", "0.0.0.0", "255.255.255.252", {FAULT_IP_BROADCAST}},
        {"10.0.0.5", "192.168.1.254", "255.255.255.0", {FAULT_GATEWAY_OUTSIDE}},
        {"10.0.0.5", "10.0.0.5", "255.255.255.0", {FAULT_GATEWAY_IS_IP}},
        {"10.0.0.5", "10.0.0.0", "255.255.255.0", {FAULT_GATEWAY_NETWORK}},
        {"10.0.0.5", "10.0.0.255", "255.255.255.0", {FAULT_GATEWAY_BROADCAST}},
        {"10.0.0.0", "10.1.255.255", "255.254.0.0", {FAULT_IP_NETWORK, FAULT_GATEWAY_BROADCAST}},
        {"0.0.0.0", "10.0.0.1", "255.0.255.0", {FAULT_MASK_NOT_PREFIX, FAULT_IP_ZERO}},
    };
    for (const auto& c : cases) {
        unsigned char ip[IPV4_LEN];
        unsigned char gateway[IPV4_LEN];
        unsigned char mask[IPV4_LEN];
        ASSERT_TRUE(parseIpv4(c.ip, ip) && parseIpv4(c.gateway, gateway) && parseIpv4(c.mask, mask));
        EXPECT_EQ(addressFaults(ip, gateway, mask), c.faults) << c.ip << " " << c.gateway << " " << c.mask;
    }
}
