#include "e2e/harness.h"
#include <cstdlib>

#include "support/netns.h"
#include "tools/netns_guard.h"

using Guard = Network;

// The verdict of the scripts' guard, tools/netns_guard.sh, with the built guard to follow links
// into other namespaces.
static bool scriptsGuardAccepts()
{
    const std::string command = std::string("BREVINDOR_NETNS_GUARD=") + NETNS_GUARD_PATH + " bash -c '. " +
                                NETNS_GUARD_SCRIPT + "; require_private_netns guard_test' 2>/dev/null";
    return system(command.c_str()) == 0;
}

// Our own veth pair inside the namespace is let in, and so is one whose other end lies in a
// namespace this test made that holds nothing else; a link of another name, a peer namespace with
// a link of its own, or one joined to a third namespace, is refused. In each command, $B and $C are
// namespaces made here ("$B" = /proc/<pid>/ns/net of a process in it). The scripts' guard agrees.
TEST_F(Guard, OnlyOurOwnLinksAndNamespacesTheTestMade)
{
    const std::string made =
        "for n in b c; do unshare -n sleep 120 & echo $! >" + dir + "/$n.pid; done; for n in b c; do p=$(cat " + dir +
        "/$n.pid); until [ \"$(readlink /proc/$p/ns/net)\" != \"$(readlink /proc/self/ns/net)\" ]; "
        "do sleep 0.05; done; done";
    ASSERT_EQ(system(made.c_str()), 0);
    const std::string namespaces = "B=/proc/$(cat " + dir + "/b.pid)/ns/net; C=/proc/$(cat " + dir + "/c.pid)/ns/net; ";
    const struct {
        const char* command;
        bool isPrivate;
    } steps[] = {
        {"true", true},
        {"ip link add brv0 type veth peer name brv1", true},
        {"ip link add brvx type veth peer name eth7", false},
        {"ip link del brvx", true},
        {"ip link set brv1 netns $B", true},   // two private namespaces joined by our veth
        {"ip link add brv2 type veth peer name brv3 netns $B", true},
        {"nsenter --net=$B ip link add brv4 type veth peer name brv5", true},    // inside B, both ends
        {"nsenter --net=$B ip link add eth8 type veth peer name eth9", false},   // B has links of its own
        {"nsenter --net=$B ip link del eth8", true},
        {"nsenter --net=$B ip link set brv5 netns $C", false},   // B leads on to a third namespace
        {"nsenter --net=$B ip link del brv4", true},
        {"ip link add brv6 type veth peer name eth0 netns $C", false},   // our end, not our peer's
    };
    for (const auto& step : steps) {
        std::string command = namespaces + step.command;
        ASSERT_EQ(system(command.c_str()), 0) << step.command;
        char why[256] = "";
        EXPECT_EQ(inPrivateNetns(why, sizeof why), step.isPrivate) << step.command << ": " << why;
        EXPECT_EQ(scriptsGuardAccepts(), step.isPrivate) << step.command << ": the scripts' guard";
    }
    // A peer in the machine's own namespace is refused, however clean it looks: here B stands for
    // it, as no test may put a link there.
    ASSERT_EQ(system((namespaces + "ip link del brv6").c_str()), 0);
    char why[256] = "";
    EXPECT_FALSE(inPrivateNetns(why, sizeof why, static_cast<pid_t>(std::stol(readFile(dir + "/b.pid")))));
    EXPECT_NE(std::string(why).find("machine's own"), std::string::npos) << why;
    (void)system(("kill $(cat " + dir + "/b.pid " + dir + "/c.pid)").c_str());
}

// The stand-in asks the guard before it opens a socket, and says why it won't start.
TEST_F(Guard, StandInRefusesWhereALinkLeadsOut)
{
    ASSERT_TRUE(inNamespace("ip link add brv0 type veth peer name eth7"));
    ToolRun run = runProgram(STANDIN_PATH, {"--many", "1", "--lifetime", "5"}, "", dir);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "brevindor-standin: refusing to start: link eth7 can reach a real network: run only inside a "
                       "private network namespace (unshare -n)\n");
}
