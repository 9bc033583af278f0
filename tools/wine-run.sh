#!/usr/bin/env bash
# Runs one Windows program under Wine (CTest's emulator for the Windows
# builds). Gets a virtual display of its own when none is set.
#
# The program's output goes through a file: Wine's helper processes
# (services, the desktop) inherit the first program's descriptors and outlive
# it, and a pipe they hold open would keep CTest waiting.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
kandu_wine_qemu "$0" "$@"
kandu_wine_prefix || exit 1
loader=$(kandu_wine_for "$1")
KANDU_XVFB_PID=""
if [ -z "${DISPLAY:-}" ]; then kandu_start_xvfb || exit 1; fi
out=$(mktemp)
"$loader" "$@" >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
[ -z "$KANDU_XVFB_PID" ] || kill "$KANDU_XVFB_PID" 2>/dev/null
exit $rc
