#!/usr/bin/env bash
# Prints every benchmark figure.
set -euo pipefail
cd "$(dirname "$0")/.."
build/native/calc_bench
