#!/usr/bin/env bash
# Builds a Release build and runs the scan benchmark inside a private network namespace made for
# this run alone: nothing reaches a real network.
#   bench/scan_bench.sh [build-dir] [--repeat R]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/netns_guard.sh"

if [ "${1:-}" != "--in-private-ns" ]; then
    build="$top/build-bench"
    if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
        build=$(realpath -m "$1")
        shift
    fi
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREVINDOR_TESTS=ON >/dev/null
    cmake --build "$build" -j "$(nproc)" --target brevindor brevindor-standin scan_bench >/dev/null
    enter_private_netns -- "$build" "$@"
fi
build=$2
shift 2

# Refuse first, before the host name or any link is touched, if this namespace has any way out;
# scan_bench checks again before it starts anything.
require_private_netns scan_bench
ip link set lo up
hostname brevbench
exec "$build/bench/scan_bench" "$@"
