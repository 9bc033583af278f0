#!/usr/bin/env bash
# Runs a command with every 32-bit Wine process under qemu's user-mode
# emulation, as on machines whose kernel runs 32-bit programs only through
# qemu (tools/enable-i386.sh), even where this kernel runs them itself:
#   tools/wine-qemu.sh COMMAND [ARGS...]
# The scripts here use it when KANDU_WINE_QEMU=1.
#
# Wine starts each 32-bit process, the first one and every one that a Windows
# program creates, through the 32-bit preloader in its own folder, and finds
# its libraries relative to that folder. So, in a private mount namespace that
# only the command's processes see, the folder is covered by a copy of itself
# in which the preloader's name runs the real preloader with qemu-i386-static.
# Needs root, or sudo for the namespace.
set -euo pipefail
loaders=/usr/lib/wine
if [ "${KANDU_WINE_QEMU_INSIDE:-}" = 1 ]; then
  # Inside the namespace: cover the folder, then drop back to the user.
  mount --bind "$KANDU_WINE_QEMU_DIR" "$loaders"
  export -n KANDU_WINE_QEMU_DIR
  if [ "$(id -u)" -ne "$KANDU_WINE_QEMU_UID" ]; then
    exec setpriv --reuid="$KANDU_WINE_QEMU_UID" --regid="$KANDU_WINE_QEMU_GID" --init-groups -- "$@"
  fi
  exec "$@"
fi

qemu=$(command -v qemu-i386-static || true)
[ -n "$qemu" ] || { echo "wine-qemu: qemu-i386-static is missing (tools/install-deps.sh installs it)" >&2; exit 1; }
preloader=$(realpath "$loaders/wine-preloader")
[ -x "$preloader" ] || { echo "wine-qemu: $loaders/wine-preloader is missing" >&2; exit 1; }
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/wine-qemu
rm -rf "$dir"
cp -a "$loaders" "$dir"
rm "$dir/wine-preloader"
printf '#!/bin/sh\nexec %q %q "$@"\n' "$qemu" "$preloader" >"$dir/wine-preloader"
chmod 755 "$dir/wine-preloader"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "wine-qemu: needs root or sudo" >&2; exit 1; }
  SUDO="sudo --preserve-env"
fi
export KANDU_WINE_QEMU_INSIDE=1 KANDU_WINE_QEMU_DIR="$dir"
export KANDU_WINE_QEMU_UID=$(id -u) KANDU_WINE_QEMU_GID=$(id -g)
exec $SUDO unshare --mount --propagation private -- "$0" "$@"
