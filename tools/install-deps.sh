#!/usr/bin/env bash
# Installs what one make target needs on a Debian machine:
#   tools/install-deps.sh [run|dist|test]      (default: test, everything)
# run: building and starting kandu.exe (make run): the shipped 32-bit one
# in 32-bit Wine where this kernel runs 32-bit programs, else the 64-bit one
# in 64-bit Wine (tools/run.sh); dist: the release archives and packages
# (make dist); test: every build, test, benchmark and the web page. Skips
# quickly when everything is already there; uses sudo only when not root.
set -euo pipefail
target=${1:-test}
case $target in
run | dist | test) ;;
*) echo "usage: install-deps.sh [run|dist|test]" >&2; exit 2 ;;
esac

# One package a line: the targets beyond test that need it (all: run and
# dist; r32 and r64: make run's 32-bit or 64-bit kind, w32 and w64: that
# kind and dist), the Debian package, and the command that shows it is
# there, or "-" to ask for the package itself (a command of that name may
# be a stand-in).
packages() {
  cat <<'EOF'
all  cmake                       cmake
all  make                        make
w32  g++-mingw-w64-i686-posix    i686-w64-mingw32-g++-posix
w32  binutils-mingw-w64-i686     i686-w64-mingw32-windres
w64  g++-mingw-w64-x86-64-posix  x86_64-w64-mingw32-g++-posix
w64  binutils-mingw-w64-x86-64   x86_64-w64-mingw32-windres
# The program's icon: drawn with ImageMagick, written by icotool.
all  imagemagick                 -
all  icoutils                    icotool
# 32-bit Wine alone or 64-bit Wine alone: the wine package takes either.
# The tests take both: their prefix is a 64-bit one.
r32  wine32:i386                 -
r32  wine32-preloader:i386       -
r64  wine64                      -
r64  wine64-preloader            -
run  wine                        wine
# Wine's own fonts: without them text is measured in a wider substitute and
# the close box is drawn as a letter.
run  fonts-wine                  -
# The virtual display, closing the window as a user would, the screenshot.
run  xvfb                        Xvfb
run  xdotool                     xdotool
run  x11-apps                    xwd
# Release archives: zip, and a normaliser for what zip records of the build.
dist git                         git
dist zip                         zip
dist strip-nondeterminism        strip-nondeterminism
# Windows Installer packages: wixl builds them, msitools edits and reads
# their tables, olefile their summary; osslsigncode (below) and openssl sign.
dist wixl                        wixl
dist msitools                    msibuild
dist python3                     python3
dist python3-olefile             -
dist openssl                     openssl
test g++                         g++
test unzip                       unzip
test clang-format                clang-format
test googletest                  -
test libgtest-dev                -
test libbenchmark-dev            -
test clang                       clang++
# libFuzzer and the sanitizers of the installed clang (its major version
# stands for @CLANG@; Debian 12's clang is 14, Debian 13's 19).
test libclang-rt-@CLANG@-dev      -
# The web page: wasm-ld links the WebAssembly; its tests drive Chromium,
# WebKitGTK (its MiniBrowser comes with the driver) and Firefox, which
# speaks WebDriver BiDi itself, over wsproto's WebSocket.
test lld                         wasm-ld
test chromium                    chromium
test chromium-driver             chromedriver
test webkit2gtk-driver           WebKitWebDriver
test firefox-esr                 firefox-esr
test python3-selenium            -
test python3-wsproto             -
# npm installs the pinned accessibility checker and Lighthouse (make web-test, web-bench).
test npm                         npm
EOF
}

have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
native32=""
kandu_i386_native && native32=yes
kinds="all $target"
case $target in
# make run's kind: the build tools/run.sh shows.
run) if [ "$(kandu_run_arch)" = win32 ]; then kinds+=" r32 w32"; else kinds+=" r64 w64"; fi ;;
dist) kinds+=" w32 w64" ;;
esac
wanted() { [ "$target" = test ] || [[ " $kinds " == *" $1 "* ]]; }

# The major version of the installed clang, else of the one apt would install
# (empty while apt knows no clang package).
clang_major() {
  local v
  v=$(clang++ -dumpversion 2>/dev/null) ||
    v=$(apt-cache policy clang 2>/dev/null | sed -n 's/^ *Candidate: \([0-9]*:\)\{0,1\}//p')
  v=${v%%[!0-9]*}
  echo "$v"
}
clang=$(clang_major)
need=()
while read -r sets pkg probe; do
  [ -n "$sets" ] && [ "${sets:0:1}" != "#" ] && wanted "$sets" || continue
  [ -z "$clang" ] || pkg=${pkg//@CLANG@/$clang}
  if [ "$probe" = - ]; then have_pkg "$pkg" || need+=("$pkg"); else have_cmd "$probe" || need+=("$pkg"); fi
done < <(packages)

# Signing with attached signatures needs osslsigncode's extract-data, new in
# 2.6; Debian 12 has 2.5, its backports 2.9; Debian 13 has 2.9 itself, so
# its sources get no backports suite.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
osslsigncode_ok() {
  local v
  v=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9.]*\).*/\1/p')
  [ -n "$v" ] && dpkg --compare-versions "$v" ge 2.9
}
signer=""
wanted dist && ! osslsigncode_ok && signer=osslsigncode

# Where 32-bit programs run under qemu (the kernel cannot, or
# KANDU_WINE_QEMU=1 asks for it), Wine's own 32-bit processes crash; 64-bit
# Wine runs those natively and leaves only the 32-bit programs to qemu. make
# run's 64-bit kind needs neither.
wine32=""
wanted r32 && wine32=yes
qemu_needs() {
  [ -n "$wine32" ] && { [ -z "$native32" ] || [ "${KANDU_WINE_QEMU:-}" = 1 ]; } || return 0
  have_cmd qemu-i386-static || echo qemu-user-static
  have_pkg wine64 || echo wine64
  have_pkg wine64-preloader || echo wine64-preloader
}

finish() { if [ -n "$wine32" ]; then exec "$here/enable-i386.sh"; fi; exit 0; }
# Nothing missing: done without apt, root or sudo.
if [ ${#need[@]} -eq 0 ] && [ -z "$signer" ] && [ -z "$(qemu_needs)" ]; then
  finish
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if have_cmd sudo; then SUDO="sudo"; else
    echo "install-deps: need root or sudo to install: ${need[*]} $signer" >&2; exit 1
  fi
fi
# fail WHAT [PACKAGES...]: by default every package this run wanted.
fail() {
  local what=$1
  shift
  [ $# -gt 0 ] || set -- "${need[@]}" $signer
  echo "install-deps: installing failed ($what). Install these by hand: $*" >&2
  exit 1
}
if [ -n "$wine32" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386 || fail "dpkg --add-architecture i386"
fi
export DEBIAN_FRONTEND=noninteractive
# Another apt or dpkg at work (an unattended upgrade) is waited for.
apt=($SUDO apt-get -o DPkg::Lock::Timeout=600)
# A mirror in the middle of a sync can fail one index (seen with the i386
# index of the security suite). The point release has every package too, so
# then the install is tried once more from the main suites alone.
update() { "${apt[@]}" update -qq || echo "install-deps: apt-get update reported errors; trying anyway" >&2; }
suites=("$codename" "$codename-updates")
install() {
  [ $# -gt 0 ] || return 0
  echo "install-deps: installing $*"
  "${apt[@]}" install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  local main_only status=0
  main_only=$(mktemp -d)
  printf '%s\n' 'Types: deb' "URIs: $mirror" "Suites: ${suites[*]}" 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$main_only/debian.sources"
  echo "install-deps: retrying from the main suites only" >&2
  "${apt[@]}" install -y -qq --no-install-recommends \
    -o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$main_only" "$@" >/dev/null || status=$?
  rm -rf "$main_only"
  [ "$status" -eq 0 ] || fail "apt-get install" "$@"
}
# The mirror the machine's Debian sources already use.
mirror=$(apt-get indextargets --no-release-info --format '$(SITE) $(RELEASE)' 2>/dev/null |
  awk -v s="$codename" '$2 == s { print $1; exit }')
mirror=${mirror:-http://deb.debian.org/debian}
update
# Without clang installed or apt's lists read, its version is known only now.
if [[ "${need[*]}" == *@CLANG@* ]]; then
  clang=$(clang_major)
  [ -n "$clang" ] || fail "apt knows no clang package"
  need=("${need[@]//@CLANG@/$clang}")
fi

if [ -n "$signer" ]; then
  candidate=$(apt-cache policy osslsigncode | sed -n 's/^ *Candidate: //p')
  if dpkg --compare-versions "${candidate:-0}" ge 2.9; then
    need+=(osslsigncode)
  else
    # Debian's backports suite, from the same mirror. Its packages are
    # installed only when named, as this one is.
    backports=$codename-backports
    if ! apt-get indextargets --no-release-info --format '$(RELEASE)' | grep -qx "$backports"; then
      echo "install-deps: adding $backports to apt's sources for osslsigncode 2.9"
      printf '%s\n' 'Types: deb' "URIs: $mirror" "Suites: $backports" 'Components: main' \
        'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        $SUDO tee /etc/apt/sources.list.d/debian-backports.sources >/dev/null
      update
    fi
    suites+=("$backports")
    need+=("osslsigncode/$backports")
  fi
fi
install "${need[@]}"
if [ -n "$signer" ] && ! osslsigncode_ok; then
  fail "osslsigncode is still older than 2.9" osslsigncode
fi
# shellcheck disable=SC2046 # one word a package
install $(qemu_needs)
echo "install-deps: done"
finish
