#!/usr/bin/env bash
# Builds brevindor and runs it against simulated controllers, inside a private network namespace
# made for this run alone: nothing reaches a real network.
#   tools/demo.sh [brevindor arguments]   one run of brevindor
#   tools/demo.sh --commission            scan, give controller 3 a new address, scan again
#   tools/demo.sh --two-segments          brevindor-batch scans two links at once, each with its
#                                         own controllers behind it, in a second private namespace
#   tools/demo.sh --web                   brevindor-web: the page, open in this computer's browser
#                                         (one loopback port, BREVINDOR_WEB_PORT or 8420, is
#                                         forwarded into the namespace through a Unix socket;
#                                         no datagram leaves it). Ctrl-C ends it.
# Answer the prompts as on a real network (1 picks the first address). Without a terminal on
# standard input, the answers are given for you. Packages missing from tools/packages.sh are
# installed first when run as root; anyone else is told how.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
. "$top/tools/netns_guard.sh"
. "$top/tools/segments.sh"

if [ "${1:-}" != "--in-private-ns" ]; then
    . "$top/tools/packages.sh"
    ensure_packages demo "${BUILD_PACKAGES[@]}"
    cmake -S "$top" -B "$build" >/dev/null
    cmake --build "$build" -j "$(nproc)" --target brevindor brevindor-batch brevindor-web brevindor-standin \
        brevindor-netns-guard >/dev/null
    if [ "${1:-}" = "--web" ]; then
        port=${BREVINDOR_WEB_PORT:-8420}
        folder=$(mktemp -d)
        # This computer's loopback port to the socket; the namespace's side carries it on.
        socat "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr,fork" "UNIX-CONNECT:$folder/page.sock" &
        forwarder=$!
        trap 'kill "$forwarder" 2>/dev/null; rm -rf "$folder"' EXIT
        user=()
        [ "$(id -u)" = 0 ] || user=(--map-root-user)
        unshare "${user[@]}" --net --uts "$0" --in-private-ns --web "$port" "$folder" || true
        exit 0
    fi
    enter_private_netns -- "$@"
fi
shift
# The guard that follows our links into the controllers' namespace (--two-segments).
export BREVINDOR_NETNS_GUARD="$build/brevindor-netns-guard"

# Refuse first, before the host name or any link is touched, if this namespace has any way out.
require_private_netns demo
ip link set lo up
hostname brevindor-demo

# Two segments: this namespace is the computer, with links brv0 (10.1.0.1) and brv2 (10.2.0.1);
# a second private namespace holds their other ends, brv1 and brv3, with two controllers behind
# each. brevindor-batch scans on every interface and shows which local address heard whom.
two_segments() {
    local far n pidfile
    pidfile=$(mktemp)
    make_segments 2 "$pidfile"
    keeper=$(cat "$pidfile")   # global: the trap runs after this function
    rm -f "$pidfile"
    trap 'kill "$keeper" 2>/dev/null || true' EXIT
    far="/proc/$keeper/ns/net"
    for n in 1 2; do   # each controller answers from its own address
        nsenter --net="$far" ip addr add "10.$n.0.21/24" dev "brv$((2 * n - 1))"
        nsenter --net="$far" ip addr add "10.$n.0.22/24" dev "brv$((2 * n - 1))"
    done
    require_private_netns demo   # again, now that links lead to the controllers' namespace
    coproc FAR { exec nsenter --net="$far" "$build/brevindor-standin" --lifetime 600 \
        --interface 10.1.0.2 --interface 10.2.0.2 \
        --controller "behind=brv1,from=10.1.0.21,mac=00.1a.2b.3c.4d.11,ip=10.1.0.21,gw=10.1.0.1,name=Pump-House" \
        --controller "behind=brv1,from=10.1.0.22,mac=00.1a.2b.3c.4d.12,ip=10.1.0.22,gw=10.1.0.1,name=Boiler-Room" \
        --controller "behind=brv3,from=10.2.0.21,mac=00.1a.2b.3c.4d.21,ip=10.2.0.21,gw=10.2.0.1,name=Hall-North" \
        --controller "behind=brv3,from=10.2.0.22,mac=00.1a.2b.3c.4d.22,ip=10.2.0.22,gw=10.2.0.1,name=Hall-South"; }
    read -r ready <&"${FAR[0]}"
    [ "$ready" = ready ] || { echo "demo: the controller stand-in did not start" >&2; exit 1; }
    echo "=== Links of this computer"
    ip -brief -4 addr show | grep brv
    echo "=== brevindor-batch scan --interface all"
    "$build/brevindor-batch" scan --interface all --timeout 1 || true
    echo "=== The same as CSV: 'local' is the address that heard each controller"
    "$build/brevindor-batch" scan --interface all --timeout 1 --format csv || true
    kill "$FAR_PID" 2>/dev/null || true
}

if [ "${1:-}" = "--two-segments" ]; then
    two_segments
    exit 0
fi

coproc STANDIN { exec "$build/brevindor-standin" --lifetime 3600 \
    --controller "mac=00.1a.2b.3c.4d.01,ip=192.168.1.21,name=Boiler-Room" \
    --controller "mac=00.1a.2b.3c.4d.02,ip=192.168.1.22,name=Hall-North" \
    --controller "mac=00.1a.2b.3c.4d.03,ip=192.168.1.23,name=Hall-South,delay=1500"; }
read -r ready <&"${STANDIN[0]}"
[ "$ready" = ready ] || { echo "demo: the controller stand-in did not start" >&2; exit 1; }

# One run of brevindor; $1 holds the answers used when there is no terminal to type them.
run() {
    local answers=$1
    shift
    if [ -t 0 ]; then
        "$build/brevindor" "$@" || true
    else
        printf '%b' "$answers" | "$build/brevindor" "$@" || true
    fi
}

if [ "${1:-}" = "--web" ]; then
    port=$2
    folder=$3
    export XDG_STATE_HOME="$folder/state"   # the demo's applies: not in the user's journal
    socat "UNIX-LISTEN:$folder/page.sock,fork" "TCP:127.0.0.1:$port" &
    inside=$!
    echo "Open the address below in this computer's browser; Ctrl-C ends the demo."
    (cd "$folder" && "$build/brevindor-web" --interface 127.0.0.1 --port "$port" --no-browser) || true
    kill "$inside" 2>/dev/null || true
elif [ "${1:-}" = "--commission" ]; then
    echo "=== 1. Scan"
    run '1\n' -R -T 2
    echo "=== 2. Give one controller (3 when answered for you) a new address"
    run '1\n3\n' -W -I 192.168.1.50 -G 192.168.1.1 -M 255.255.255.0 -T 2
    echo "=== 3. Scan again: the controller reports its new address"
    run '1\n' -R -T 2
else
    run '1\n' "$@"
fi
kill "${STANDIN_PID:-}" 2>/dev/null || true
