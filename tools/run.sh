#!/usr/bin/env bash
# Starts the calculator on the form's initial values.
set -euo pipefail
cd "$(dirname "$0")/.."
build/native/kandu-calc 1100 150 150
