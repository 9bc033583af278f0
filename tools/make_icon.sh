#!/usr/bin/env bash
# Draws the program's icon and writes it as a Windows .ico file with six
# images: 16, 32 and 48 pixels square, each in 16 colours (the standard
# 16-colour palette) and in 256 colours. The picture is a thermometer on a
# rounded tile with a scale beside it. ImageMagick draws and scales it,
# icoutils' icotool writes the icon file; the same tools give the same bytes.
# The web page's icons are the same picture as PNG files: square SIZE pixels,
# or, maskable, on a tile filling the square with the picture inside the
# circle that launchers may cut out: opaque, so also the iPhone's home-screen
# icon, whose rounded corners stay clear of the picture.
#
# Usage: make_icon.sh OUTPUT.ico
#        make_icon.sh OUTPUT.png SIZE [maskable]
set -euo pipefail
case $# in
1) [[ $1 == *.ico ]] ;;
2 | 3) [[ $1 == *.png && $2 =~ ^[0-9]+$ && ${3-maskable} == maskable ]] ;;
*) false ;;
esac || { echo "usage: make_icon.sh OUTPUT.ico | OUTPUT.png SIZE [maskable]" >&2; exit 2; }
out=$1
# On Windows (MSYS2) ImageMagick 7 runs as magick: convert there may be the
# system's disk converter, which comes first on PATH.
convert=convert
case ${OSTYPE-} in msys | cygwin) convert=magick ;; esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

TILE='#1F4E79' TILE_EDGE='#0E2A45' GLASS='#F2F2F2' MERCURY='#D82020' SCALE='#F0C030'
STANDARD_16=('#000000' '#800000' '#008000' '#808000' '#000080' '#800080' '#008080' '#C0C0C0'
    '#808080' '#FF0000' '#00FF00' '#FFFF00' '#0000FF' '#FF00FF' '#00FFFF' '#FFFFFF')

# draw N OUT [maskable]: the picture N pixels square, without antialiasing:
# it is drawn four times larger than needed and scaled down by averaging, so
# that edges get the in-between colours. Maskable, the thermometer and scale
# shrink by a quarter about the centre, into the circle of 0.4 N.
draw() {
    local n=$1 drawn=$2 k=1 tile
    [ "${3-}" = maskable ] && k=0.75
    at() { # unit coordinates to pixels
        awk -v n="$n" -v k="$k" 'BEGIN {
            for (i = 1; i < ARGC; i++) printf "%d ", ((ARGV[i] - 0.5) * k + 0.5) * n + 0.5 }' "$@"
    }
    len() { # unit lengths to pixels
        awk -v n="$n" -v k="$k" 'BEGIN { for (i = 1; i < ARGC; i++) printf "%d ", ARGV[i] * k * n + 0.5 }' "$@"
    }
    if [ $k = 1 ]; then
        local t0 t1 e0 e1 tr er
        read -r t0 t1 e0 e1 <<<"$(at 0.02 0.98 0.07 0.93)"
        read -r tr er <<<"$(len 0.18 0.14)"
        tile=(-fill "$TILE_EDGE" -draw "roundrectangle $t0,$t0 $t1,$t1 $tr,$tr"
            -fill "$TILE" -draw "roundrectangle $e0,$e0 $e1,$e1 $er,$er")
    else
        tile=(-fill "$TILE" -draw "rectangle 0,0 $n,$n")
    fi
    local ux0 uy0 ux1 uy1 ur mx0 my0 mx1 my1 mr bx by bo bi
    read -r ux0 uy0 ux1 uy1 <<<"$(at 0.33 0.12 0.53 0.72)"
    read -r mx0 my0 mx1 my1 <<<"$(at 0.39 0.36 0.47 0.72)"
    read -r bx by <<<"$(at 0.43 0.76)"
    read -r ur mr bo bi <<<"$(len 0.10 0.04 0.17 0.12)"
    # Four scale marks, every other one shorter.
    local i x0 y0 x1 y1 marks=()
    for i in 0 1 2 3; do
        read -r x0 y0 x1 y1 <<<"$(at 0.60 "0.$((20 + 13 * i))" "0.$((78 - 7 * (i % 2)))" "0.$((255 + 130 * i))")"
        marks+=(-draw "rectangle $x0,$y0 $x1,$y1")
    done
    "$convert" -size "${n}x${n}" xc:none +antialias "${tile[@]}" \
        -fill "$SCALE" "${marks[@]}" \
        -fill "$GLASS" -draw "roundrectangle $ux0,$uy0 $ux1,$uy1 $ur,$ur" \
        -draw "circle $bx,$by $bx,$((by + bo))" \
        -fill "$MERCURY" -draw "roundrectangle $mx0,$my0 $mx1,$my1 $mr,$mr" \
        -draw "circle $bx,$by $bx,$((by + bi))" \
        "$drawn"
}

if [[ $out == *.png ]]; then
    size=$2
    draw $((4 * size)) "$work/drawn.png" "${3-}"
    # The picture has few colours, edges included: a palette with alpha keeps
    # them all at half the bytes. No time stamps: the same picture, the same bytes.
    "$convert" "$work/drawn.png" -filter Box -resize "${size}x${size}" -strip -type PaletteAlpha \
        -define png:exclude-chunks=date,time -define png:compression-level=9 "PNG:$out"
    exit 0
fi
draw 192 "$work/drawn.png"

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
    "$convert" -size 1x1 "${args[@]}" +append "$work/$name.png"
}
palette p4 "${STANDARD_16[@]}"
palette p8 "${palette_256[@]}"

# Each size: averaged down, a pixel less than half covered left transparent,
# every other pixel the nearest palette colour.
images=()
for bits in 4 8; do
    for size in 16 32 48; do
        # Names relative to $work: MSYS2 would pass PNG32:/path to a Windows
        # program as a list of two paths.
        (cd "$work" && "$convert" drawn.png -filter Box -resize ${size}x${size} \
            -channel A -threshold 50% +channel -dither None -remap "p$bits.png" \
            "PNG32:icon-$size-$bits.png")
        images+=(-b "$bits" "$work/icon-$size-$bits.png")
    done
done
icotool -c -o "$out" "${images[@]}"
