#!/usr/bin/env bash
# Makes sure 32-bit Linux programs (the 32-bit Wine loader) can run. Some
# kernels here boot with 32-bit emulation switched off; then the loader runs
# under qemu's user-mode emulation, registered with binfmt_misc.
set -euo pipefail
probe=/usr/lib/wine/wine
[ -x "$probe" ] || exit 0
if "$probe" --version >/dev/null 2>&1; then exit 0; fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
qemu=$(command -v qemu-i386-static || true)
if [ -z "$qemu" ]; then
  echo "enable-i386: 32-bit programs cannot run here and qemu-i386-static is missing" >&2; exit 1
fi
bm=/proc/sys/fs/binfmt_misc
if [ ! -e "$bm/register" ]; then
  $SUDO mount -t binfmt_misc binfmt_misc "$bm" || {
    echo "enable-i386: cannot mount binfmt_misc" >&2; exit 1; }
fi
if [ ! -e "$bm/qemu-i386" ]; then
  # ELF, 32-bit, little endian, executable or shared object, machine i386.
  rule=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F'
  printf '%s' "$rule" | $SUDO tee "$bm/register" >/dev/null || {
    echo "enable-i386: cannot register qemu-i386 with binfmt_misc" >&2; exit 1; }
fi
"$probe" --version >/dev/null 2>&1 || { echo "enable-i386: 32-bit Wine still does not start" >&2; exit 1; }
echo "enable-i386: 32-bit programs run through qemu-i386"
