#!/usr/bin/env bash
# Builds the release archives: kandu-VERSION-win32.zip (the shipped i686
# programs) and kandu-VERSION-win64.zip, each with kandu.exe, kandu-calc.exe,
# README.txt and SHA256SUMS, plus SHA256SUMS of the archives beside them.
#   tools/dist.sh [OUTPUT_DIR]        (default build/dist)
#
# Reproducible: the same source gives the same bytes in any directory and at
# any time. Archive entries carry the time of SOURCE_DATE_EPOCH (by default
# the last commit's) and fixed permissions. Each build tree holds only what
# the archives need and lives under OUTPUT_DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/dist}")

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || {
        echo "dist: not a git checkout; set SOURCE_DATE_EPOCH" >&2
        exit 1
    }
fi
export SOURCE_DATE_EPOCH
# zip records local times; the normaliser below works in local time too.
export TZ=UTC
version=$(sed -n 's/^project(kandu VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "dist: no version in CMakeLists.txt" >&2; exit 1; }

mkdir -p "$out"
archives=()
for arch in win32 win64; do
    [ $arch = win32 ] && toolchain=mingw-i686 || toolchain=mingw-x86_64
    tree=$out/tree-$arch
    cmake -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
        -DKANDU_TESTS=OFF -DKANDU_BENCH=OFF >/dev/null
    cmake --build "$tree" --target kandu kandu-calc -- -j2 >/dev/null

    stage=$out/kandu-$version-$arch
    rm -rf "$stage"
    mkdir -p "$stage"
    cp "$tree/kandu.exe" "$tree/kandu-calc.exe" "$stage/"
    # A Windows user opens it in Notepad: CRLF line endings.
    sed -e "s/@VERSION@/$version/; s/@ARCH@/$arch/" -e 's/$/\r/' \
        "$root/docs/windows-readme.txt" >"$stage/README.txt"
    (cd "$stage" && sha256sum kandu.exe kandu-calc.exe README.txt >SHA256SUMS)

    zip=$out/kandu-$version-$arch.zip
    rm -f "$zip"
    (cd "$stage" && zip -q -X "$zip" README.txt kandu.exe kandu-calc.exe SHA256SUMS)
    # Sorted entries, the commit's time, permissions 644/755, no extra fields.
    strip-nondeterminism -T "$SOURCE_DATE_EPOCH" "$zip"
    archives+=("$(basename "$zip")")
done
(cd "$out" && sha256sum "${archives[@]}" >SHA256SUMS && cat SHA256SUMS)
