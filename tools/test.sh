#!/usr/bin/env bash
# Runs every test suite, each whatever the others did, and fails at the end
# naming each suite that failed. `make test` builds everything first.
#   tools/test.sh [FUZZ_SECONDS]      (default 30)
set -uo pipefail
cd "$(dirname "$0")/.."
list=$(mktemp)
trap 'rm -f "$list"' EXIT
# run NAME COMMAND...: runs one suite, noting its name when it fails.
run() {
  local name=$1
  shift
  printf '\n== %s\n' "$name"
  "$@" || echo "$name" >>"$list"
}
# The documents: every relative link and anchor resolves, every table has its header.
run "docs" /usr/bin/python3 tools/check-docs.py
run "ctest native" ctest --preset native
run "ctest native-asan" ctest --preset native-asan
# The Windows suites share one virtual display and one wineserver.
printf '\n== ctest win32, win64 (Wine%s)\n' "$([ "${KANDU_WINE_QEMU:-}" = 1 ] && echo ', 32-bit under qemu')"
tools/with-wine.sh bash -c 'for p in win32 win64; do ctest --preset $p || echo "ctest $p" >>"$0"; done' "$list" ||
  grep -q '^ctest win' "$list" || echo "Wine set-up" >>"$list"
run "fuzz" tools/fuzz.sh "${1:-30}"
# The page's tests with the pinned axe-core they install first.
run "web" make --no-print-directory web-test
echo
if [ -s "$list" ]; then
  echo "test: FAILED: $(paste -sd, "$list" | sed 's/,/, /g')"
  exit 1
fi
echo "test: every suite passed"
