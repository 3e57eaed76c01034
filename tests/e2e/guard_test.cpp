#include "e2e/harness.h"
#include <cstdlib>

#include "tools/netns_guard.h"

using Guard = Network;

// Our own veth pair inside the namespace is let in; a link of another name, or one whose peer is
// in another namespace, is refused.
TEST_F(Guard, OnlyOurOwnLinksWithBothEndsInside)
{
    const struct {
        const char* command;
        bool isPrivate;
    } steps[] = {
        {"true", true},
        {"ip link add brv0 type veth peer name brv1", true},
        {"ip link add brvx type veth peer name eth7", false},
        {"ip link del brvx", true},
        {"unshare -n sleep 5 & sleep 0.3; ip link set brv1 netns $!", false},
    };
    for (const auto& step : steps) {
        ASSERT_EQ(system(step.command), 0) << step.command;
        char why[256] = "";
        EXPECT_EQ(inPrivateNetns(why, sizeof why), step.isPrivate) << step.command << ": " << why;
    }
}
