# Sourced: the Wine settings every script here shares. The prefix is the
# project's own, under build/, never the user's.
_kandu_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${KANDU_WINEPREFIX:-$_kandu_root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The test prefix runs both builds in 64-bit Wine; make run's prefix is a
# 32-bit one where 32-bit Wine is all there is (KANDU_WINEARCH=win32).
export WINEARCH="${KANDU_WINEARCH:-win64}"
# Where Wine's output while making a prefix goes; its end is shown when that
# fails.
KANDU_WINE_LOG="${KANDU_WINE_LOG:-$WINEPREFIX.log}"

# Wine's own fonts (Debian's fonts-wine) go where Windows keeps its fonts.
# This Wine does not read them from its data folder, and without them text
# is measured in a wider substitute and the close box shows a letter.
KANDU_WINE_FONTS=/usr/share/wine/fonts
kandu_wine_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  [ -f "$KANDU_WINE_FONTS/marlett.ttf" ] && [ ! -e "$fonts/marlett.ttf" ] || return 0
  mkdir -p "$fonts"
  ln -sf "$KANDU_WINE_FONTS"/* "$fonts/"
}

# kandu_wine_report WHO WHY HINT...: what went wrong, the last lines of
# Wine's log, and what to try.
kandu_wine_report() {
  local who=$1 why=$2 hint
  shift 2
  echo "$who: $why" >&2
  if [ -s "$KANDU_WINE_LOG" ]; then
    echo "$who: the last lines of $KANDU_WINE_LOG:" >&2
    tail -n 20 "$KANDU_WINE_LOG" | sed 's/^/  /' >&2
  fi
  echo "$who: to try:" >&2
  for hint; do echo "  - $hint" >&2; done
}

# Creates the prefix once, within KANDU_WINE_PREFIX_WAIT seconds (600). A
# lock keeps parallel first starts from racing. A prefix counts as made only
# once its creation finished (the mark names its architecture). One whose
# creation failed, timed out or was interrupted is removed at once; one left
# unfinished all the same (a killed script), or made for the other
# architecture, is removed and made again, where it is one of the project's
# own under build/.
kandu_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    local made=$WINEPREFIX/.kandu-made
    if [ -e "$WINEPREFIX" ] && [ "$(cat "$made" 2>/dev/null)" != "$WINEARCH" ]; then
      case $WINEPREFIX/ in
      "$_kandu_root"/build/*) ;;
      *) if [ ! -f "$made" ]; then
        echo "wine: $WINEPREFIX is not a finished prefix of this project; remove it or name another (KANDU_WINEPREFIX)" >&2
        exit 1
      fi ;;
      esac
      echo "wine: removing the prefix $WINEPREFIX: $([ -f "$made" ] && echo "it is $(cat "$made")" || echo "its creation did not finish")" >&2
      wineserver -k >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$made" ]; then
      local limit=${KANDU_WINE_PREFIX_WAIT:-600} status=0 boot
      echo "wine: creating prefix $WINEPREFIX$(kandu_i386_emulated && echo ', which under qemu can take minutes')" >&2
      : >"$KANDU_WINE_LOG"
      # In the background, so that Ctrl+C is acted on at once; timeout ends
      # the processes it started, wineserver -k the rest.
      timeout -k 10 "$limit" sh -c 'wineboot -i && wineserver -w' >>"$KANDU_WINE_LOG" 2>&1 </dev/null &
      boot=$!
      trap 'kill "$boot" 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"; exit 130' INT TERM
      wait "$boot" || status=$?
      trap - INT TERM
      if [ "$status" -ne 0 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
        local why="failed (exit status $status)"
        case $status in
        0) why="left no registry" ;;
        124 | 137) why="(wineboot -i, then waiting for Wine's processes to end) did not finish within $limit s" ;;
        esac
        kandu_wine_report wine "making the prefix $WINEPREFIX $why; it has been removed" \
          "allow longer: KANDU_WINE_PREFIX_WAIT=SECONDS (now $limit)" \
          "check that Wine starts at all: WINEPREFIX=\$(mktemp -d) wineboot -i" \
          "Wine's whole output of this attempt: $KANDU_WINE_LOG"
        exit 1
      fi
      echo "$WINEARCH" >"$made"
    fi
    kandu_wine_fonts
  ) 9>"$WINEPREFIX.lock"
}

# Starts Xvfb on a free display and exports DISPLAY; KANDU_XVFB_PID names it.
kandu_start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    KANDU_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$KANDU_XVFB_PID" 2>/dev/null || break
      sleep 0.05
    done
  done
  echo "wine: could not start Xvfb" >&2
  return 1
}

# With KANDU_WINE_QEMU=1, runs the calling script again with every 32-bit
# Wine process under qemu (tools/wine-qemu.sh). Call as: kandu_wine_qemu "$0" "$@"
kandu_wine_qemu() {
  [ "${KANDU_WINE_QEMU:-}" = 1 ] && [ "${KANDU_WINE_QEMU_INSIDE:-}" != 1 ] || return 0
  exec "$_kandu_root/tools/wine-qemu.sh" "$@"
}

# True when the 32-bit Wine loader runs under qemu: by this machine's kernel
# (tools/enable-i386.sh) or by KANDU_WINE_QEMU=1.
kandu_i386_emulated() {
  [ "${KANDU_WINE_QEMU_INSIDE:-}" = 1 ] && return 0
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
    grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null
}

# True when this kernel runs 32-bit x86 programs itself: a 96-byte 32-bit
# program that only exits with status 42 is written and started. Under
# qemu (tools/enable-i386.sh, KANDU_WINE_QEMU=1) they run, but not natively.
kandu_i386_native() {
  ! kandu_i386_emulated || return 1
  local probe status=0
  mkdir -p "$_kandu_root/build"
  probe=$(mktemp "$_kandu_root/build/.i386-probe.XXXXXX") || return 1
  {
    # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054.
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00'
    printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
    # One segment, the whole file at 0x08048000, readable and executable.
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    # mov ebx, 42; mov eax, 1 (exit); int 0x80
    printf '\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'
  } >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# The Windows build make run shows: win32, the shipped one, where this
# kernel runs 32-bit programs itself or KANDU_WINE_QEMU=1 asks for qemu;
# else win64, which 64-bit Wine runs natively, without qemu or 32-bit Wine.
kandu_run_arch() {
  if [ "${KANDU_WINE_QEMU:-}" = 1 ] || kandu_i386_native; then echo win32; else echo win64; fi
}

# The Wine loader for a PE file: wine64 for x86-64 images saves a detour
# through the 32-bit loader.
kandu_wine_for() {
  if [ "$(kandu_pe_machine "$1")" = 8664 ] && [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  else
    echo wine
  fi
}

# The machine field of a PE file's header in hex (014c i386, 8664 x86-64);
# fails for a file that is no Windows program.
kandu_pe_machine() {
  local off
  [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 1
  off=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$off" ] && [ "$(od -An -c -j"$off" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 1
  od -An -tx2 -j$((off + 4)) -N2 "$1" | tr -d ' '
}
