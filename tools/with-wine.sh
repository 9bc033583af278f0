#!/usr/bin/env bash
# Runs a command with one virtual display (when none is set) and one
# persistent wineserver shared by every Wine process it starts, so that each
# test executable starts quickly.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
kandu_wine_qemu "$0" "$@"
KANDU_XVFB_PID=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$KANDU_XVFB_PID" ] || kill "$KANDU_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || kandu_start_xvfb
kandu_wine_prefix
wineserver -p
# Start Wine's helper processes now, detached from the caller's output; a
# start that hangs is the tests' to report.
timeout "${KANDU_WINE_PREFIX_WAIT:-600}" /usr/lib/wine/wine64 cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
"$@"
