#!/usr/bin/env bash
# Two release builds of the same tree, copied into two fresh directories of
# different depth and built one after the other, give byte-identical
# archives; each archive holds its four files and their checksums agree.
#   reproducible_test.sh SOURCE_TREE
set -euo pipefail
src=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
epoch=$(git -C "$src" log -1 --format=%ct)

for copy in a b/two/deep; do
    mkdir -p "$work/$copy/src"
    (cd "$src" && git ls-files -z -co --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$work/$copy/src"
    SOURCE_DATE_EPOCH=$epoch "$work/$copy/src/tools/dist.sh" "$work/$copy/out" >/dev/null
done

status=0
for zip in "$work"/a/out/*.zip; do
    name=$(basename "$zip")
    if ! cmp -s "$zip" "$work/b/two/deep/out/$name"; then
        echo "FAIL: $name differs between the two builds" >&2
        diff "$work"/a/out/"${name%.zip}"/SHA256SUMS "$work"/b/two/deep/out/"${name%.zip}"/SHA256SUMS >&2 || true
        status=1
    fi
    listing=$(unzip -Z1 "$zip" | tr '\n' ' ')
    if [ "$listing" != "README.txt SHA256SUMS kandu-calc.exe kandu.exe " ]; then
        echo "FAIL: $name holds: $listing" >&2
        status=1
    fi
    mkdir -p "$work/unpacked/$name"
    unzip -q "$zip" -d "$work/unpacked/$name"
    (cd "$work/unpacked/$name" && sha256sum --quiet -c SHA256SUMS) || {
        echo "FAIL: the checksums in $name do not match its files" >&2
        status=1
    }
    # No time in the PE header at all, whatever SOURCE_DATE_EPOCH says.
    for exe in "$work/unpacked/$name"/*.exe; do
        pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
        stamp=$(od -An -tu4 -j$((pe + 8)) -N4 "$exe" | tr -d ' ')
        [ "$stamp" = 0 ] || { echo "FAIL: $name: $(basename "$exe") has time stamp $stamp" >&2; status=1; }
    done
done
[ "$(ls "$work"/a/out/*.zip | wc -l)" -eq 2 ] || { echo "FAIL: expected two archives" >&2; status=1; }
[ $status -eq 0 ] && echo "both builds gave the same archives:" && cat "$work/a/out/SHA256SUMS"
exit $status
