#!/usr/bin/env bash
# Builds everything and runs every test. The network tests make their own private namespaces;
# they need root or unprivileged user namespaces, and skip with the reason otherwise.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/${BUILD_DIR:-build}"
# shellcheck disable=SC2086
cmake -S "$top" -B "$build" ${CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j 8 --timeout 120
