# shellcheck shell=bash
# Sourced by the demo and run by the tests: network segments for the controller stand-in. Run it
# only inside a private network namespace (require_private_netns), as root in it.
#   make_segments N PIDFILE   makes a second private namespace, kept by a process whose id goes
#                             into PIDFILE (kill it to remove the namespace and its links), and N
#                             veth links to it: segment n (from 1) is brv<2n-2> here with
#                             10.n.0.1/24, its other end brv<2n-1> there with 10.n.0.2/24.
# The stand-in then runs there (nsenter --net=/proc/<pid>/ns/net), joined on 10.n.0.2 and with
# controllers behind=brv<2n-1>.
make_segments() {
    local count=$1 pidfile=$2 keeper far n here there
    unshare --net sleep 600 </dev/null >/dev/null 2>&1 &
    keeper=$!
    echo "$keeper" >"$pidfile"
    until [ "$(readlink "/proc/$keeper/ns/net")" != "$(readlink /proc/self/ns/net)" ]; do sleep 0.05; done
    far="/proc/$keeper/ns/net"
    nsenter --net="$far" ip link set lo up
    for ((n = 1; n <= count; ++n)); do
        here="brv$((2 * n - 2))"
        there="brv$((2 * n - 1))"
        ip link add "$here" type veth peer name "$there" netns "$far"
        ip addr add "10.$n.0.1/24" dev "$here"
        ip link set "$here" up
        nsenter --net="$far" ip addr add "10.$n.0.2/24" dev "$there"
        nsenter --net="$far" ip link set "$there" up
    done
}
