#!/usr/bin/env bash
# Builds everything and runs every test. The network tests make their own private namespaces;
# they need root or unprivileged user namespaces, and skip with the reason otherwise. Packages
# missing from tools/packages.sh are installed first when run as root; anyone else is told how.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/${BUILD_DIR:-build}"
. "$top/tools/packages.sh"
ensure_packages test "${BUILD_PACKAGES[@]}"
# shellcheck disable=SC2086
cmake -S "$top" -B "$build" ${CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j 8 --timeout 120
