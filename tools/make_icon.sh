#!/usr/bin/env bash
# Draws the program's icon and writes it as a Windows .ico file with six
# images: 16, 32 and 48 pixels square, each in 16 colours (the standard
# 16-colour palette) and in 256 colours. The picture is a thermometer on a
# rounded tile with a scale beside it. ImageMagick draws and scales it,
# icoutils' icotool writes the icon file; the same tools give the same bytes.
#
# Usage: make_icon.sh OUTPUT.ico
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: make_icon.sh OUTPUT.ico" >&2; exit 2; }
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

TILE='#1F4E79' TILE_EDGE='#0E2A45' GLASS='#F2F2F2' MERCURY='#D82020' SCALE='#F0C030'
STANDARD_16=('#000000' '#800000' '#008000' '#808000' '#000080' '#800080' '#008080' '#C0C0C0'
    '#808080' '#FF0000' '#00FF00' '#FFFF00' '#0000FF' '#FF00FF' '#00FFFF' '#FFFFFF')

# Drawn once at 192 pixels, four times the largest image, and scaled down by
# averaging, so that edges get the in-between colours.
N=192
at() { # unit coordinates to pixels
    awk -v n=$N 'BEGIN { for (i = 1; i < ARGC; i++) printf "%d ", ARGV[i] * n + 0.5 }' "$@"
}
read -r t0 t1 tr <<<"$(at 0.02 0.98 0.18)"
read -r e0 e1 er <<<"$(at 0.07 0.93 0.14)"
read -r ux0 uy0 ux1 uy1 ur <<<"$(at 0.33 0.12 0.53 0.72 0.10)"
read -r mx0 my0 mx1 my1 mr <<<"$(at 0.39 0.36 0.47 0.72 0.04)"
read -r bx by bo bi <<<"$(at 0.43 0.76 0.17 0.12)"
# Four scale marks, every other one shorter.
marks=()
for i in 0 1 2 3; do
    read -r x0 y0 x1 y1 <<<"$(at 0.60 "0.$((20 + 13 * i))" "0.$((78 - 7 * (i % 2)))" "0.$((255 + 130 * i))")"
    marks+=(-draw "rectangle $x0,$y0 $x1,$y1")
done
convert -size ${N}x${N} xc:none +antialias \
    -fill "$TILE_EDGE" -draw "roundrectangle $t0,$t0 $t1,$t1 $tr,$tr" \
    -fill "$TILE" -draw "roundrectangle $e0,$e0 $e1,$e1 $er,$er" \
    -fill "$SCALE" "${marks[@]}" \
    -fill "$GLASS" -draw "roundrectangle $ux0,$uy0 $ux1,$uy1 $ur,$ur" \
    -draw "circle $bx,$by $bx,$((by + bo))" \
    -fill "$MERCURY" -draw "roundrectangle $mx0,$my0 $mx1,$my1 $mr,$mr" \
    -draw "circle $bx,$by $bx,$((by + bi))" \
    "$work/drawn.png"

# The 256-colour palette: the standard 16, the picture's own colours, a
# 6x6x6 colour cube and a grey ramp.
palette_256=("${STANDARD_16[@]}" "$TILE" "$TILE_EDGE" "$GLASS" "$MERCURY" "$SCALE")
for r in 00 33 66 99 CC FF; do for g in 00 33 66 99 CC FF; do for b in 00 33 66 99 CC FF; do
    palette_256+=("#$r$g$b")
done; done; done
for k in $(seq 237 255); do palette_256+=("$(printf '#%02X%02X%02X' $((8 + (k - 237) * 13)){,,})"); done
palette() { # NAME COLOURS...: one pixel per colour
    local name=$1 c args=()
    shift
    for c in "$@"; do args+=("xc:$c"); done
    convert -size 1x1 "${args[@]}" +append "$work/$name.png"
}
palette p4 "${STANDARD_16[@]}"
palette p8 "${palette_256[@]}"

# Each size: averaged down, a pixel less than half covered left transparent,
# every other pixel the nearest palette colour.
images=()
for bits in 4 8; do
    for size in 16 32 48; do
        convert "$work/drawn.png" -filter Box -resize ${size}x${size} \
            -channel A -threshold 50% +channel -dither None -remap "$work/p$bits.png" \
            "PNG32:$work/icon-$size-$bits.png"
        images+=(-b "$bits" "$work/icon-$size-$bits.png")
    done
done
icotool -c -o "$out" "${images[@]}"
