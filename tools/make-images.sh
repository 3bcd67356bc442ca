#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the program's own pictures into images/: a thermometer whose column rises and falls
# while a curve beside it records the readings, and the launcher icon's sizes from
# images/icon.svg. Run by hand after changing a picture; the build uses the committed files.
# Installs what it needs (ImageMagick 6, librsvg's renderer).
set -euo pipefail
source "$(dirname "$0")/../script/common.sh"
install_missing "${IMAGE_PACKAGES[@]}"

CONVERT=${CONVERT:-/usr/bin/convert}
OUT=$ROOT/images

GLASS='#f4f8fc' OUTLINE='#2b4a6f' MERCURY='#d7261e' PANEL='#dde9f5' CURVE='#1f6fb5' SCALE='#8aa6c4'

# Big logo: 58 frames; the column rises over 38 frames, rests on the 38th, falls over 20.
BIG_FRAMES=58 BIG_PEAK=37
# Small logo: 21 frames; rises over 11, rests on the 11th, falls over 10.
SMALL_FRAMES=21 SMALL_PEAK=10
FRAME_DELAY=10 PEAK_DELAY=100 # hundredths of a second

# Prints the column height as a fraction 0.1..1 for frame $1 of $2 frames peaking at $3.
level() {
    awk -v i="$1" -v n="$2" -v p="$3" 'BEGIN {
        if (i <= p) l = 0.1 + 0.9 * i / p; else l = 1 - 0.9 * (i - p) / (n - 1 - p)
        printf "%.4f", l }'
}

# Prints the curve's points up to frame $1: one point per frame, its height the column's.
curve_points() {
    local j pts=""
    for ((j = 0; j <= $1; j++)); do
        pts+=$(awk -v j="$j" -v n="$BIG_FRAMES" -v l="$(level "$j" "$BIG_FRAMES" "$BIG_PEAK")" \
            'BEGIN { printf "%.1f,%.1f ", 54 + 56 * j / (n - 1), 96 - 70 * l }')
    done
    printf '%s' "$pts"
}

# Frames are collected as convert arguments and drawn in one process: a round trip through
# files would give them a gamma that the GIF writer records in an extension of its own.
FRAMES=()

# Appends frame $1 of the 120-pixel logo, preceded by its delay, to FRAMES.
add_big_frame() {
    local i=$1 top
    top=$(awk -v l="$(level "$i" "$BIG_FRAMES" "$BIG_PEAK")" 'BEGIN { printf "%d", 88 - 66 * l }')
    local draw=(
        -fill "$PANEL" -stroke "$OUTLINE" -strokewidth 2 -draw 'rectangle 1,1 118,118'
        -fill none -stroke "$SCALE" -strokewidth 1 -draw 'line 52,98 112,98' -draw 'line 52,98 52,20'
        -fill "$GLASS" -stroke "$OUTLINE" -strokewidth 2 -draw 'roundrectangle 22,12 38,96 8,8'
        -fill "$MERCURY" -stroke "$OUTLINE" -draw 'circle 30,100 30,88'
        -stroke none -draw "rectangle 27,$top 33,96"
        -stroke "$OUTLINE" -strokewidth 1
        -draw 'line 40,22 45,22' -draw 'line 40,44 45,44' -draw 'line 40,66 45,66' -draw 'line 40,88 45,88'
    )
    if ((i > 0)); then
        draw+=(-fill none -stroke "$CURVE" -strokewidth 2 -draw "polyline $(curve_points "$i")")
    fi
    FRAMES+=(-delay "$(delay_of "$i" "$BIG_PEAK")" \( -size 120x120 xc:none "${draw[@]}" \))
}

# Prints the 16-pixel thermometer of frame $1 (its column one row higher or lower each frame) on background $2 as convert arguments, drawn
# without smoothing so that it stays crisp.
small_picture() {
    local top=$((11 - $1))
    (($1 <= SMALL_PEAK)) || top=$((1 + $1 - SMALL_PEAK))
    printf '%s\n' -size 16x16 "xc:$2" +antialias \
        -fill "$GLASS" -stroke "$OUTLINE" -strokewidth 1 -draw 'rectangle 6,0 10,13' \
        -fill "$MERCURY" -draw 'circle 8,13 8,15' \
        -stroke none -draw "rectangle 7,$top 9,13" \
        -fill "$OUTLINE" -draw 'point 12,3' -draw 'point 12,6' -draw 'point 12,9'
}

delay_of() {
    if (($1 == $2)); then echo "$PEAK_DELAY"; else echo "$FRAME_DELAY"; fi
}

# Writes FRAMES as a GIF that loops forever. Disposal "none" leaves each frame in place, so
# later frames shrink to the rectangle they change; one global colour table serves them all.
write_animation() {
    "$CONVERT" -dispose none "${FRAMES[@]}" -loop 0 -layers CompareAny -layers OptimizeTransparency +map "$1"
    FRAMES=()
}

for ((i = 0; i < BIG_FRAMES; i++)); do add_big_frame "$i"; done
write_animation "$OUT/logo_g.gif"

for ((i = 0; i < SMALL_FRAMES; i++)); do
    mapfile -t picture < <(small_picture "$i" "$PANEL")
    FRAMES+=(-delay "$(delay_of "$i" "$SMALL_PEAK")" \( "${picture[@]}" \))
done
write_animation "$OUT/logo.gif"

# The still icon shows the full column on white (a JPEG has no transparency): baseline,
# 2x2 luminance sampling, no metadata.
mapfile -t picture < <(small_picture "$SMALL_PEAK" white)
"$CONVERT" "${picture[@]}" -strip -interlace none -sampling-factor 2x2,1x1,1x1 -quality 90 \
    "$OUT/logo.jpg"
# The launcher icon at the sizes of the hicolor theme; not built-in resources.
for size in 16 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" "$OUT/icon.svg" --output "$OUT/icon-$size.png"
done
