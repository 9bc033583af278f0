#!/usr/bin/env bash
# Runs the calculation core's libFuzzer target for a bounded time.
#   tools/fuzz.sh [SECONDS]        (default 300)
# KANDU_FUZZ_BUILD names the build tree (default build/fuzz). New inputs go
# to a corpus inside it; the seeds in the source tree are only read. Exits
# non-zero when the fuzzer finds a failure; the failing input is kept in the
# build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
build=${KANDU_FUZZ_BUILD:-build/fuzz}
fuzzer=$build/calc_fuzzer
[ -x "$fuzzer" ] || { echo "fuzz: $fuzzer not built (cmake --preset fuzz && cmake --build --preset fuzz)" >&2; exit 1; }
corpus=$build/corpus
mkdir -p "$corpus"
log=$build/fuzz.log
echo "fuzz: running calc_fuzzer for $seconds s"
status=0
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/" \
    "$corpus" tests/fuzz/seeds >"$log" 2>&1 || status=$?
grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^Done|property failed|ERROR|SUMMARY' "$log" || true
if [ "$status" -ne 0 ]; then
    echo "fuzz: failure (exit $status); see $log" >&2
    tail -n 40 "$log" >&2
fi
exit "$status"
