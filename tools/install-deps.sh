#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian machine. Skips quickly
# when everything is already there; uses sudo only when not root.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have_cmd cmake || need+=(cmake)
have_cmd g++ || need+=(g++)
have_cmd make || need+=(make)
have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have_cmd i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
have_cmd Xvfb || need+=(xvfb)
have_cmd xwd || need+=(x11-apps)
have_pkg googletest || need+=(googletest)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg libbenchmark-dev || need+=(libbenchmark-dev)
have_cmd clang++ || need+=(clang)
have_pkg libclang-rt-14-dev || need+=(libclang-rt-14-dev)
# ImageMagick and xdotool for screenshots and closing the window as a user
# would; a `convert` on the PATH may be a stand-in, so ask for the package.
have_pkg imagemagick || need+=(imagemagick)
have_cmd xdotool || need+=(xdotool)
# The program's icon: drawn with ImageMagick, written by icotool.
have_cmd icotool || need+=(icoutils)
# Release archives: zip, and a normaliser for what zip records of the build.
have_cmd zip || need+=(zip)
have_cmd strip-nondeterminism || need+=(strip-nondeterminism)
# Windows Installer packages: wixl builds them, msitools edits and reads
# their tables, olefile their summary; osslsigncode and openssl sign.
have_cmd wixl || need+=(wixl)
have_cmd msibuild || need+=(msitools)
have_pkg python3-olefile || need+=(python3-olefile)
have_cmd osslsigncode || need+=(osslsigncode)
have_cmd openssl || need+=(openssl)
# The web page: wasm-ld links the WebAssembly; its tests drive Chromium,
# WebKitGTK (its MiniBrowser comes with the driver) and Firefox, which
# speaks WebDriver BiDi itself, over wsproto's WebSocket.
have_cmd wasm-ld || need+=(lld)
have_cmd chromium || need+=(chromium)
have_cmd chromedriver || need+=(chromium-driver)
have_cmd WebKitWebDriver || need+=(webkit2gtk-driver)
have_cmd firefox-esr || need+=(firefox-esr)
have_pkg python3-selenium || need+=(python3-selenium)
have_pkg python3-wsproto || need+=(python3-wsproto)
# npm installs the pinned accessibility checker and Lighthouse (make web-test, web-bench).
have_cmd npm || need+=(npm)
have_cmd python3 || need+=(python3)
have_pkg wine32 || need+=(wine32:i386)
have_pkg wine32-preloader || need+=(wine32-preloader:i386)
have_pkg wine64 || need+=(wine64)
have_pkg wine64-preloader || need+=(wine64-preloader)
have_cmd wine || need+=(wine)
# Wine's own fonts: without them text is measured in a wider substitute and
# the close box is drawn as a letter.
have_pkg fonts-wine || need+=(fonts-wine)
# Kernels built without 32-bit user space still run 32-bit Wine through qemu.
have_cmd qemu-i386-static || need+=(qemu-user-static)

here=$(cd "$(dirname "$0")" && pwd)
if [ ${#need[@]} -eq 0 ]; then
  exec "$here/enable-i386.sh"
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if have_cmd sudo; then SUDO="sudo"; else
    echo "install-deps: need root or sudo to install: ${need[*]}" >&2; exit 1
  fi
fi

echo "install-deps: installing ${need[*]}"
fail() { echo "install-deps: installing failed ($1). Install these by hand: ${need[*]}" >&2; exit 1; }
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386 || fail "dpkg --add-architecture i386"
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync can fail one index (seen with the i386
# index of the security suite). The point release has every package too, so
# then the install is tried once more from the main suites alone.
$SUDO apt-get update -qq || echo "install-deps: apt-get update reported errors; trying anyway" >&2
apt_install() { $SUDO apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
if ! apt_install; then
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  main_only=$(mktemp -d)
  printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' \
    "Suites: $codename $codename-updates" 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$main_only/debian.sources"
  echo "install-deps: retrying from the main suites only" >&2
  status=0
  apt_install -o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$main_only" || status=$?
  rm -rf "$main_only"
  [ "$status" -eq 0 ] || fail "apt-get install"
fi
echo "install-deps: done"
exec "$here/enable-i386.sh"
