#!/usr/bin/env bash
# Runs the libFuzzer target for a bounded number of seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
corpus=build/fuzz/corpus
mkdir -p "$corpus"
build/fuzz/calc_fuzzer -max_total_time="$seconds" -print_final_stats=1 "$corpus" tests/calc/fuzz-seeds 2>&1 | tail -n 20
