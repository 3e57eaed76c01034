#!/usr/bin/env bash
# Static checks: formatting (.clang-format), clang-tidy (.clang-tidy) and cppcheck. Fails on any
# finding. Needs clang-format, clang-tidy, cppcheck and clang (for the compile database).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/${BUILD_DIR:-build-lint}"
cd "$top"

mapfile -t sources < <(git ls-files '*.cpp' '*.h')

echo "== layers"
# Each layer includes only from itself and the layers below it:
# platform <- protocol <- commission <- report <- app, batch and web; no front end includes another.
layer_problems=0
check_layer() {
    local layer=$1 allowed=$2 hit
    [ -d "$top/$layer" ] || return 0
    if hit=$(grep -n -E '^#include "[a-z_]+/' "$top/$layer"/*.h "$top/$layer"/*.cpp 2>/dev/null |
        grep -v -E "#include \"($allowed)/"); then
        echo "$layer/ includes from a layer above it:"
        echo "$hit"
        layer_problems=1
    fi
}
check_layer platform platform
check_layer protocol 'platform|protocol'
check_layer commission 'platform|protocol|commission'
check_layer report 'platform|protocol|commission|report'
check_layer app 'platform|protocol|commission|report|app'
check_layer batch 'platform|protocol|commission|report|batch'
check_layer web 'platform|protocol|commission|report|web'
# The commissioning engine returns what happened; it prints nothing.
if hit=$(grep -n -E '\b(v?f?printf|puts|fputs|putchar|perror)\b|std::(cout|cerr|clog)|<iostream>|<ostream>' \
    "$top"/commission/*.h "$top"/commission/*.cpp | grep -v -E '^[^:]+:[0-9]+:[[:space:]]*//'); then
    echo "commission/ prints:"
    echo "$hit"
    layer_problems=1
fi
[ "$layer_problems" = 0 ] || exit 1

echo "== clang-format"
clang-format --dry-run --Werror "${sources[@]}"

echo "== compile database"
cmake -S "$top" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_CXX_COMPILER=clang++ >/dev/null
# Generated and external headers must exist before the analysers read the sources.
cmake --build "$build" -j "$(nproc)" >/dev/null

echo "== clang-tidy"
run-clang-tidy -p "$build" -quiet -j "$(nproc)" "$top/(app|batch|web|commission|protocol|report|platform|tools|tests|bench|fuzz)/" \
    >"$build/clang-tidy.log" 2>&1 || {
    # The findings alone, without colours or the per-file progress lines.
    sed 's/\x1b\[[0-9;]*m//g' "$build/clang-tidy.log" | grep -E -A3 ': (warning|error):' ||
        tail -40 "$build/clang-tidy.log"
    exit 1
}

echo "== cppcheck"
# C-style casts are the house style around the socket calls; raw loops are preferred to <algorithm>.
cppcheck --project="$build/compile_commands.json" --std=c++17 -j "$(nproc)" -q --inline-suppr \
    --enable=warning,style,performance,portability --error-exitcode=1 \
    --suppress=missingIncludeSystem --suppress=cstyleCast --suppress=useStlAlgorithm

echo "lint: clean"
