#!/usr/bin/env bash
# Starts kandu.exe under Wine (make run builds it first).
#
# On the user's display the program runs until it is closed. Without a
# display it runs on a virtual one, inside a Wine desktop that draws the
# window's frame; the script saves a screenshot of the whole window, title
# bar included, to build/kandu.png, says where it is, and closes the program
# with Alt+F4, as a user would.
#
# It starts the shipped 32-bit build where this kernel runs 32-bit programs
# itself, and where KANDU_WINE_QEMU=1 asks for qemu; elsewhere the 64-bit
# build, in 64-bit Wine, which needs neither qemu nor 32-bit Wine.
# `run.sh --arch` prints which (win32 or win64), for make run to build it.
#
# Wine's output goes to build/run-wine.log. A first start makes Wine's
# prefix (up to KANDU_WINE_PREFIX_WAIT seconds, 600). The script waits for
# the window as long as Wine is at work, up to KANDU_RUN_WAIT seconds (600);
# when Wine or the program ends first, it says so, shows the log's end and
# what to try, and fails.
#
# KANDU_EXE names another kandu.exe; KANDU_SCREENSHOT another picture file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# A prefix of its own, so that ending it cannot disturb tests that run in
# the project's test prefix at the same time. A 32-bit one where 32-bit Wine
# is all there is (tools/install-deps.sh run); else a 64-bit one, whose own
# processes run in 64-bit Wine.
export KANDU_WINEPREFIX="${KANDU_WINEPREFIX:-$root/build/run-wineprefix}"
if [ -x /usr/lib/wine/wine64 ]; then export KANDU_WINEARCH=win64; else export KANDU_WINEARCH=win32; fi
export KANDU_WINE_LOG="${KANDU_WINE_LOG:-$root/build/run-wine.log}"
# Wine's errors, not its notes on what it lacks, for the log.
export WINEDEBUG="${WINEDEBUG:-err+all,fixme-all}"
. "$root/tools/wine-env.sh"
arch=$(kandu_run_arch)
if [ "${1:-}" = --arch ]; then
  [ "$arch" = win32 ] || echo "run: this kernel runs no 32-bit programs itself, so make run shows the 64-bit kandu.exe in 64-bit Wine; KANDU_WINE_QEMU=1 make run shows the shipped 32-bit one under qemu" >&2
  echo "$arch"
  exit 0
fi
kandu_wine_qemu "$0" "$@"

exe=$(realpath -m "${KANDU_EXE:-$root/build/$arch/kandu.exe}")
shot=$(realpath -m "${KANDU_SCREENSHOT:-$root/build/kandu.png}")
log=$KANDU_WINE_LOG
wait_limit=${KANDU_RUN_WAIT:-600}
title="Corvane - KANDU"
[ -f "$exe" ] || { echo "run: $exe is missing ($([ -n "${KANDU_EXE:-}" ] && echo "KANDU_EXE names it" || echo "make run builds it"))" >&2; exit 1; }
# Wine would keep an error box open for a file that is no Windows program.
kandu_pe_machine "$exe" >/dev/null || { echo "run: $exe is not a Windows program" >&2; exit 1; }
mkdir -p "$(dirname "$log")"
: >"$log"

# give_up WHY: what went wrong, the end of Wine's log, and what to try.
give_up() {
  kandu_wine_report run "$1" \
    "Wine's whole output: $log" \
    "start again with a new prefix: rm -rf $WINEPREFIX; make run" \
    "KANDU_EXE names the program to start (now $exe)" \
    "on a desktop, check that DISPLAY names a display you can open; unset, a virtual one is used"
  exit 1
}

KANDU_XVFB_PID=""
work=$(mktemp -d)
# The Wine process started here: the program itself, or the Wine desktop
# that runs it.
wine_pid=""
cleanup() {
  # Wine still at work here (a start that hung, an interrupted run) is
  # ended; a Wine that ended by itself leaves nothing to end.
  if [ -n "$wine_pid" ] && kill -0 "$wine_pid" 2>/dev/null; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  [ -z "$KANDU_XVFB_PID" ] || kill "$KANDU_XVFB_PID" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
kandu_wine_prefix || exit 1

# wait_window: waits for the program's window, a window of that title that
# was not there before, while Wine is at work: a slow start is not a failure,
# an ended Wine is. Leaves its X window's id in $window.
window=""
wait_window() {
  local before deadline=$((SECONDS + wait_limit)) status
  before=$(xdotool search --name "^$title\$" 2>/dev/null) || true
  echo "run: waiting for the window (Wine's output: $log)"
  while :; do
    window=$(xdotool search --name "^$title\$" 2>/dev/null | grep -vxF -e "${before:-none}" | head -n 1) || true
    [ -z "$window" ] || return 0
    if ! kill -0 "$wine_pid" 2>/dev/null; then
      status=0
      wait "$wine_pid" || status=$?
      wine_pid=""
      give_up "$(basename "$exe") ended (exit status $status) before its window appeared"
    fi
    [ "$SECONDS" -lt "$deadline" ] || give_up "the window did not appear within $wait_limit s"
    sleep 1
  done
}

if [ -n "${DISPLAY:-}" ]; then
  # With the script's own input, which a job started with & would not get.
  "$(kandu_wine_for "$exe")" "$exe" <&0 >>"$log" 2>&1 &
  wine_pid=$!
  wait_window
  echo "run: $(basename "$exe") is open on display $DISPLAY; make run ends when it is closed"
  status=0
  wait "$wine_pid" || status=$?
  wine_pid=""
  [ "$status" -eq 0 ] || give_up "$(basename "$exe") ended with exit status $status"
  echo "run: $(basename "$exe") closed"
  exit 0
fi

kandu_start_xvfb
echo "run: no display; showing $(basename "$exe") on virtual display $DISPLAY"

# The desktop in 64-bit Wine where there is one: under qemu a 32-bit
# explorer could leave kandu.exe waiting for ever on a first start.
if [ "$WINEARCH" = win64 ]; then explorer=/usr/lib/wine/wine64; else explorer=wine; fi
"$explorer" explorer /desktop=kandu,640x480 "$exe" >>"$log" 2>&1 </dev/null &
wine_pid=$!
# The window's own X window inside the Wine desktop.
wait_window

# The window is drawn completely once two dumps a moment apart are equal.
drawn=""
for _ in $(seq 1 120); do
  sleep 1
  xwd -silent -id "$window" -out "$work/now.xwd" 2>/dev/null || continue
  if [ -f "$work/before.xwd" ] && cmp -s "$work/now.xwd" "$work/before.xwd"; then
    drawn=yes
    break
  fi
  mv "$work/now.xwd" "$work/before.xwd"
done
[ -n "$drawn" ] || give_up "the window was not drawn"
mkdir -p "$(dirname "$shot")"
# Without time chunks the same window gives the same file.
convert "xwd:$work/now.xwd" -strip -define png:exclude-chunks=date,time "png:$shot"
echo "run: screenshot of the window saved to $shot"

# Close it as a user does: Alt+F4 on the focused window.
timeout 20 xdotool windowfocus --sync "$window" key --clearmodifiers alt+F4 || true
for _ in $(seq 1 60); do
  if ! kill -0 "$wine_pid" 2>/dev/null; then
    wine_pid=""
    echo "run: $(basename "$exe") closed"
    exit 0
  fi
  sleep 1
done
give_up "$(basename "$exe") did not close after Alt+F4"
