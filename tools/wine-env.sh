# Sourced: the Wine settings every script here shares. The prefix is the
# project's own, under build/, never the user's.
_kandu_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${KANDU_WINEPREFIX:-$_kandu_root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The test prefix runs both builds in 64-bit Wine; make run's prefix is a
# 32-bit one (KANDU_WINEARCH=win32), which 32-bit Wine alone can make.
export WINEARCH="${KANDU_WINEARCH:-win64}"
# Where Wine's output while making a prefix goes.
KANDU_WINE_LOG="${KANDU_WINE_LOG:-/dev/null}"

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

# Creates the prefix once. A lock keeps parallel first starts from racing.
# A prefix counts as made only once its creation finished (the mark names its
# architecture): one whose creation was interrupted or failed, or one made
# for the other architecture, is removed and made again, where it is one of
# the project's own under build/.
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
      echo "wine: creating prefix $WINEPREFIX$(kandu_i386_emulated && echo ', which under qemu can take minutes')" >&2
      # Interrupted (Ctrl+C reaches Wine too), it is left unmarked.
      trap 'exit 130' INT TERM
      local status=0
      { wineboot -i && wineserver -w; } >>"$KANDU_WINE_LOG" 2>&1 || status=$?
      if [ "$status" -ne 0 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: prefix creation failed" >&2
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
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
