#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz and runs each for a short while
# from its seed corpus. New inputs go to a scratch folder, never into the
# committed corpus. Fails when a target finds a crash, a leak or a hang; the
# input is left as build-fuzz/crash-<target>-*.
#   FUZZ_SECONDS=20 (per target)   FUZZ_TARGETS="fuzz_expression ..." (default all)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-20}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSLY_TESTS=OFF -DTESSLY_SANITIZE=ON -DTESSLY_FUZZ=ON >/dev/null
cmake --build build-fuzz

targets=${FUZZ_TARGETS:-$(cd fuzz/corpus && ls)}
failed=()
for t in $targets; do
    scratch=$(mktemp -d)
    echo "== $t: ${seconds}s"
    if build-fuzz/bin/"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/crash-$t-" "$scratch" "fuzz/corpus/$t" \
        >"build-fuzz/$t.log" 2>&1; then
        grep -E "^stat::number_of_executed_units|^#[0-9]+.*DONE" "build-fuzz/$t.log" | tail -2
    else
        failed+=("$t")
        tail -40 "build-fuzz/$t.log"
    fi
    rm -rf "$scratch"
done
if ((${#failed[@]})); then
    echo "fuzz targets that failed: ${failed[*]}" >&2
    exit 1
fi
