#!/usr/bin/env bash
# Starts kandu.exe under Wine (make run builds it first).
#
# On the user's display the program runs until it is closed. Without a
# display it runs on a virtual one, inside a Wine desktop that draws the
# window's frame; the script saves a screenshot of the whole window, title
# bar included, to build/kandu.png, says where it is, and closes the program
# with Alt+F4, as a user would.
#
# Wine's output goes to build/run-wine.log. A first start makes Wine's
# prefix, which takes a while (minutes under qemu); the script waits for the
# window as long as Wine is at work, up to KANDU_RUN_WAIT seconds (600).
#
# KANDU_EXE names another kandu.exe; KANDU_SCREENSHOT another picture file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# A prefix of its own, so that ending it cannot disturb tests that run in
# the project's test prefix at the same time. A 32-bit one where 32-bit Wine
# is all there is (make run installs 64-bit Wine only where 32-bit programs
# run under qemu, tools/install-deps.sh); else a 64-bit one, whose own
# processes run in 64-bit Wine.
export KANDU_WINEPREFIX="${KANDU_WINEPREFIX:-$root/build/run-wineprefix}"
if [ -x /usr/lib/wine/wine64 ]; then export KANDU_WINEARCH=win64; else export KANDU_WINEARCH=win32; fi
export KANDU_WINE_LOG="${KANDU_WINE_LOG:-$root/build/run-wine.log}"
# Wine's errors, not its notes on what it lacks, for the log.
export WINEDEBUG="${WINEDEBUG:-err+all,fixme-all}"
. "$root/tools/wine-env.sh"
kandu_wine_qemu "$0" "$@"

exe=$(realpath -m "${KANDU_EXE:-$root/build/win32/kandu.exe}")
shot=$(realpath -m "${KANDU_SCREENSHOT:-$root/build/kandu.png}")
log=$KANDU_WINE_LOG
wait_limit=${KANDU_RUN_WAIT:-600}
title="Corvane - KANDU"
[ -f "$exe" ] || { echo "run: $exe is missing (make run builds it)" >&2; exit 1; }
# Wine would keep an error box open for a file that is no Windows program.
kandu_pe_machine "$exe" >/dev/null || { echo "run: $exe is not a Windows program" >&2; exit 1; }
mkdir -p "$(dirname "$log")"
: >"$log"

# give_up WHY: what went wrong, the end of Wine's log, and what to try.
give_up() {
  echo "run: $1" >&2
  if [ -s "$log" ]; then
    echo "run: the last lines of $log:" >&2
    tail -n 20 "$log" | sed 's/^/  /' >&2
  fi
  cat >&2 <<EOF
run: to try:
  - start again with a new prefix: rm -rf $WINEPREFIX; make run
  - KANDU_WINE_QEMU=1 make run runs 32-bit Wine under qemu (for kernels that cannot run 32-bit programs)
  - on a desktop, check that DISPLAY names a display you can open; unset, a virtual one is used
EOF
  exit 1
}

KANDU_XVFB_PID=""
work=$(mktemp -d)
desktop=""
cleanup() {
  [ -z "$desktop" ] || kill "$desktop" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$KANDU_XVFB_PID" ] || kill "$KANDU_XVFB_PID" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# An interrupted first start leaves an unfinished prefix, made again next time.
trap 'exit 130' INT TERM
kandu_wine_prefix || give_up "Wine's prefix could not be made"

if [ -n "${DISPLAY:-}" ]; then
  trap - EXIT INT TERM
  rm -rf "$work"
  exec "$(kandu_wine_for "$exe")" "$exe"
fi

kandu_start_xvfb
echo "run: no display; showing kandu.exe on virtual display $DISPLAY"

# The desktop in 64-bit Wine where there is one: under qemu a 32-bit
# explorer could leave kandu.exe waiting for ever on a first start.
if [ "$WINEARCH" = win64 ]; then explorer=/usr/lib/wine/wine64; else explorer=wine; fi
"$explorer" explorer /desktop=kandu,640x480 "$exe" >>"$log" 2>&1 &
desktop=$!

# The window's own X window inside the Wine desktop, waited for while Wine
# is at work: a slow start is not a failure, an ended Wine is.
echo "run: waiting for the window (Wine's output: $log)"
window=""
deadline=$((SECONDS + wait_limit))
while :; do
  window=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1) || true
  [ -z "$window" ] || break
  if ! kill -0 "$desktop" 2>/dev/null; then
    status=0
    wait "$desktop" || status=$?
    desktop=""
    give_up "Wine ended (exit status $status) before the window appeared"
  fi
  [ "$SECONDS" -lt "$deadline" ] || give_up "the window did not appear within $wait_limit s"
  sleep 1
done

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
  if ! kill -0 "$desktop" 2>/dev/null; then
    desktop=""
    echo "run: kandu.exe closed"
    exit 0
  fi
  sleep 1
done
echo "run: kandu.exe did not close" >&2
exit 1
