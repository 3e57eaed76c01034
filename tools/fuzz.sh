#!/usr/bin/env bash
# Fuzzes the receive path, the command-line reader and the batch plan reader with libFuzzer under
# AddressSanitizer and UBSan, each for FUZZ_SECONDS (30 by default), starting from the seeds in
# tests/fuzz/corpus.
# A crash fails the run; its input is written into the target's seed folder, so that it is
# replayed by every later test run once committed, and is also printed here in hex.
# Needs clang with its libFuzzer runtime (Debian: clang, libclang-rt-14-dev).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/${BUILD_DIR:-build-fuzz}"
seconds=${FUZZ_SECONDS:-30}

cmake -S "$top" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DBREVINDOR_FUZZ=ON -DBREVINDOR_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target receive_fuzz options_fuzz plan_fuzz >/dev/null

# target, largest input: 110 datagrams of up to 200 bytes fit in 2048 bytes only when most are
# short; 32 arguments in 512 bytes; a plan of some dozens of rows in 4096 bytes.
status=0
for entry in receive:2048 options:512 plan:4096; do
    target=${entry%%:*}
    seeds="$top/tests/fuzz/corpus/$target"
    work="$build/corpus/$target"
    mkdir -p "$work"
    log="$build/$target.log"
    echo "== $target: $seconds s"
    if "$build/tests/${target}_fuzz" -max_total_time="$seconds" -max_len="${entry#*:}" -print_final_stats=1 \
        -artifact_prefix="$seeds/" "$work" "$seeds" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        cover=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
        corpus=$(find "$work" -type f | wc -l)
        echo "$target: $runs executions, $rate per second, $cover, $corpus inputs in the working corpus"
    else
        status=1
        grep -E -A30 '^==[0-9]+==|runtime error|deadly signal|fuzz: ' "$log" | head -60 || tail -40 "$log"
        for crash in "$seeds"/crash-*; do
            [ -f "$crash" ] || continue
            echo "$target: input kept as $crash (commit it with the fix):"
            od -An -tx1 "$crash" | head -20
        done
    fi
done
exit $status
