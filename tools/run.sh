#!/usr/bin/env bash
# Starts kandu.exe under Wine (make run builds it first).
#
# On the user's display the program runs until it is closed. Without a
# display it runs on a virtual one, inside a Wine desktop that draws the
# window's frame; the script saves a screenshot of the whole window, title
# bar included, to build/kandu.png, says where it is, and closes the program
# with Alt+F4, as a user would.
#
# KANDU_EXE names another kandu.exe; KANDU_SCREENSHOT another picture file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# A prefix of its own, so that ending it cannot disturb tests that run in
# the project's test prefix at the same time.
export KANDU_WINEPREFIX="${KANDU_WINEPREFIX:-$root/build/run-wineprefix}"
. "$root/tools/wine-env.sh"
kandu_wine_qemu "$0" "$@"

exe=$(realpath -m "${KANDU_EXE:-$root/build/win32/kandu.exe}")
shot=$(realpath -m "${KANDU_SCREENSHOT:-$root/build/kandu.png}")
title="Corvane - KANDU"
[ -f "$exe" ] || { echo "run: $exe is missing (make run builds it)" >&2; exit 1; }
kandu_wine_prefix

if [ -n "${DISPLAY:-}" ]; then
  exec "$(kandu_wine_for "$exe")" "$exe"
fi

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
kandu_start_xvfb
echo "run: no display; showing kandu.exe on virtual display $DISPLAY"

wine explorer /desktop=kandu,640x480 "$exe" >/dev/null 2>&1 &
desktop=$!

# The window's own X window inside the Wine desktop.
window=$(timeout 120 xdotool search --sync --name "^$title\$" | head -n 1) || true
[ -n "$window" ] || { echo "run: the window did not appear" >&2; exit 1; }

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
[ -n "$drawn" ] || { echo "run: the window was not drawn" >&2; exit 1; }
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
