#!/usr/bin/env bash
# Builds a Release build and runs the batch benchmark inside a private network namespace made for
# this run alone: nothing reaches a real network.
#   bench/apply_bench.sh [build-dir]
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
    cmake --build "$build" -j 2 --target brevindor-batch brevindor-standin apply_bench >/dev/null
    enter_private_netns -- "$build" "$@"
fi
build=$2
shift 2

# Refuse first, before the host name or any link is touched, if this namespace has any way out;
# apply_bench checks again before it starts anything.
require_private_netns apply_bench
ip link set lo up
hostname brevbench
exec "$build/bench/apply_bench" "$@"
