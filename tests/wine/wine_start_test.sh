#!/usr/bin/env bash
# Starting under Wine. Making a prefix that hangs (a wineboot that never
# ends) is stopped at its limit with a report, and leaves no prefix behind,
# for make run and for the tests alike. make run on a display reports a
# program that ends before its window: why, with the program's own error,
# and a non-zero exit; Wine's output is in its log.
#   wine_start_test.sh PROGRAM WORK_DIR     (PROGRAM: kandu-calc.exe)
set -uo pipefail
program=$1
work=$2
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
. "$tools/wine-env.sh"
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

rm -rf "$work" && mkdir -p "$work/bin"
printf '#!/bin/sh\nmkdir -p "$WINEPREFIX"\necho "wineboot stand-in: hanging"\nexec sleep 300\n' >"$work/bin/wineboot"
chmod +x "$work/bin/wineboot"
for tool in run.sh wine-run.sh; do
    out=$(PATH="$work/bin:$PATH" KANDU_WINEPREFIX="$work/hung" KANDU_WINE_LOG="$work/hung.log" \
        KANDU_WINE_PREFIX_WAIT=2 KANDU_EXE="$program" "$tools/$tool" "$program" 2>&1) &&
        fail "$tool succeeded while wineboot hung"
    grep -q 'did not finish within 2 s' <<<"$out" && grep -q 'wineboot stand-in: hanging' <<<"$out" ||
        fail "$tool did not report the hung prefix with Wine's output: $out"
    [ ! -e "$work/hung" ] || fail "$tool left the unfinished prefix behind"
done

KANDU_XVFB_PID=""
trap '[ -z "$KANDU_XVFB_PID" ] || kill "$KANDU_XVFB_PID"' EXIT
[ -n "${DISPLAY:-}" ] || kandu_start_xvfb || exit 1
out=$(printf '1100;abc\n' | KANDU_WINEPREFIX="$WINEPREFIX" KANDU_WINE_LOG="$work/run.log" \
    KANDU_EXE="$program" "$tools/run.sh" 2>&1) && fail "run.sh ended 0 for a program without a window"
grep -q 'ended (exit status 2) before its window appeared' <<<"$out" && grep -q '^  kandu-calc: line 1: ' <<<"$out" ||
    fail "run.sh did not say why, with the program's error: $out"
grep -q '^kandu-calc: line 1: ' "$work/run.log" || fail "the log lacks the program's output"
exit $status
