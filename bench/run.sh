#!/usr/bin/env bash
# Builds a Release build and runs one benchmark inside a private network namespace made for this
# run alone: nothing reaches a real network.
#   bench/run.sh scan [build-dir] [--repeat R]   the classic program, 100 and 1000 controllers
#   bench/run.sh apply [build-dir] [--runs N] [--repeat R] [--case K]
#                                                brevindor-batch: apply and scan under loss,
#                                                a 1000-row apply, a scan of 1000
#   bench/run.sh web [build-dir]                 brevindor-web: 1000 rows in headless chromium,
#                                                a 1000-row apply through the API, memory, idle CPU
#   bench/run.sh watch [build-dir] [--seconds S] brevindor-batch watch over 1000 controllers for
#                                                60 s: when gone is told, CPU, peak memory
#   bench/run.sh server [build-dir] [--web PATH] [--case slow,held,exhausted,ab]
#                                                brevindor-web's connections: slow clients
#                                                (slowhttptest), 1200 held, descriptors exhausted,
#                                                ab against 1000 rows; --web: another build's
#   bench/run.sh journal [build-dir]             the journal: an append with its sync and
#                                                journal --verify after 10,000 applies; the handover
#                                                report of 1000 controllers, written and printed
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/netns_guard.sh"

if [ "${1:-}" != "--in-private-ns" ]; then
    name=${1:-}
    case $name in
    scan | apply | web | watch | server | journal) shift ;;
    *)
        echo "usage: bench/run.sh scan|apply|web|watch|server|journal [build-dir] [arguments of the benchmark]" >&2
        exit 2
        ;;
    esac
    build="$top/build-bench"
    if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
        build=$(realpath -m "$1")
        shift
    fi
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREVINDOR_TESTS=ON >/dev/null
    targets=(brevindor brevindor-batch brevindor-web brevindor-standin)
    case $name in web | server) ;; *) targets+=("${name}_bench") ;; esac
    cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null
    enter_private_netns -- "$name" "$build" "$@"
fi
name=$2
build=$3
shift 3

# Refuse first, before the host name or any link is touched, if this namespace has any way out;
# the benchmark checks again before it starts anything.
require_private_netns "${name}_bench"
ip link set lo up
# The applies measured go to a journal of this run's own, never to the user's.
state=$(mktemp -d /tmp/brevindor-bench-state.XXXXXX)
export XDG_STATE_HOME=$state
trap 'rm -rf "$state"' EXIT
hostname brevbench
if [ "$name" = web ] || [ "$name" = server ]; then
    exec /usr/bin/python3 "$top/bench/${name}_bench.py" "$build/brevindor-web" "$build/brevindor-standin" "$@"
fi
exec "$build/bench/${name}_bench" "$@"
