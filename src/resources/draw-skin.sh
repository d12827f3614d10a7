#!/usr/bin/env bash
# Redraws every image under Skin/ from scratch with ImageMagick.
#   bash src/resources/draw-skin.sh            # writes into src/resources/Skin
#   CONVERT=/path/to/convert bash draw-skin.sh # another ImageMagick 6 binary
# The build never runs this: the PNG/GIF files it writes are committed.
#
# Shapes are written in the target's own pixel coordinates, drawn at S times
# the size and averaged down, which gives clean anti-aliased edges at 12-28 px.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
OUT=${OUT:-$HERE/Skin}
CONVERT=${CONVERT:-convert}
FONT=${FONT:-WenQuanYi-Micro-Hei}
S=8

TEXT='#4f5466'   # default icon colour, same as the body text
MUTED='#b8bccc'  # inactive arrows, placeholder pictograms
SOFT='#9da8cc'   # input adornments, placeholder captions
ACCENT='#6186ff' # every hover variant
RED='#ff6161'    # unread dot, errors
GREEN='#36c07a'  # success tip
TRACK='#e5ebff'  # spinner track
PLACE='#f2f3f5'  # picture placeholder background
DISABLED='#d4d7e0' # controls that cannot be used now
WHITE='#ffffff'

mkdir -p "$OUT/main" "$OUT/msgbox"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# Writes a PNG without time stamps so redrawing gives byte-identical files.
# png_out OUTPUT CONVERT-ARGS...
png_out() {
    local out=$1
    shift
    "$CONVERT" "$@" -strip -define png:exclude-chunks=date,time "PNG32:$out"
}

# draw FILE W H BACKGROUND MVG...: MVG in W x H pixel coordinates.
draw() {
    local file=$1 w=$2 h=$3 bg=$4
    shift 4
    png_out "$file" -size $((w * S))x$((h * S)) "xc:$bg" -draw "scale $S,$S $*" \
        -filter box -resize "${w}x${h}!"
}

stroke() { echo "fill none stroke $1 stroke-width $2 stroke-linecap round stroke-linejoin round"; }

# --- 12 x 12 combo box arrows -------------------------------------------
arrow_down() { draw "$OUT/main/$1" 12 12 none "$(stroke "$2" 1.5) polyline 2.5,4.5 6,8 9.5,4.5"; }
arrow_up() { draw "$OUT/main/$1" 12 12 none "$(stroke "$2" 1.5) polyline 2.5,7.5 6,4 9.5,7.5"; }
arrow_down icon_down_default.png "$MUTED"
arrow_down icon_down_hover.png "$ACCENT"
arrow_up icon_up_default.png "$MUTED"
arrow_up icon_up_hover.png "$ACCENT"

# --- 12 x 12 check box indicator of a row in deletion mode ---------------
box() { echo "fill $1 stroke $2 stroke-width 1 roundrectangle 0.5,0.5 11.5,11.5 2,2"; }
draw "$OUT/main/icon_sel_default.png" 12 12 none "$(box "$WHITE" "$MUTED")"
draw "$OUT/main/icon_sel_hover.png" 12 12 none "$(box "$WHITE" "$ACCENT")"
draw "$OUT/main/icon_sel_selected.png" 12 12 none \
    "$(box "$ACCENT" "$ACCENT") $(stroke "$WHITE" 1.5) polyline 3,6.2 5.2,8.4 9,3.8"

# --- 16 x 16 context menu icons -----------------------------------------
draw "$OUT/main/icon_delete_default.png" 16 16 none "$(stroke "$TEXT" 1.3) \
    line 2.5,4.2 13.5,4.2 polyline 6,4.2 6,2.3 10,2.3 10,4.2 \
    polyline 4,4.2 4.8,13.7 11.2,13.7 12,4.2 line 6.8,6.8 6.8,11.3 line 9.2,6.8 9.2,11.3"
draw "$OUT/main/icon_batch_delete_default.png" 16 16 none "$(stroke "$TEXT" 1.3) \
    line 2,3.5 3,3.5 line 5.5,3.5 14,3.5 line 2,7.5 3,7.5 line 5.5,7.5 14,7.5 \
    line 2,11.5 3,11.5 line 5.5,11.5 8,11.5 line 10.5,10 13.5,13 line 13.5,10 10.5,13"
draw "$OUT/main/icon_read_default.png" 16 16 none "$(stroke "$TEXT" 1.3) \
    polyline 1,8.5 4,11.5 9.5,5.5 polyline 7,10 8.5,11.5 14,5.5"
draw "$OUT/main/icon_filtrate_default.png" 16 16 none "$(stroke "$TEXT" 1.3) \
    polygon 2.5,3 13.5,3 9.3,8.2 9.3,13.2 6.7,11.9 6.7,8.2"
draw "$OUT/main/icon_save_default.png" 16 16 none "$(stroke "$TEXT" 1.3) \
    line 8,2.3 8,10 polyline 4.8,6.9 8,10.1 11.2,6.9 polyline 2.5,10 2.5,13.5 13.5,13.5 13.5,10"

# --- title bar, 16 x 16 --------------------------------------------------
titlebar() {
    local c=$2
    draw "$OUT/main/icon_min_$1.png" 16 16 none "$(stroke "$c" 1.3) line 3.5,8.5 12.5,8.5"
    draw "$OUT/main/icon_max_$1.png" 16 16 none "$(stroke "$c" 1.3) rectangle 3.5,3.5 12.5,12.5"
    draw "$OUT/main/icon_restore_$1.png" 16 16 none "$(stroke "$c" 1.3) \
        rectangle 3,5.5 10.5,13 polyline 5.5,5.5 5.5,3 13,3 13,10.5 10.5,10.5"
    draw "$OUT/main/icon_close_$1.png" 16 16 none "$(stroke "$c" 1.3) line 4,4 12,12 line 12,4 4,12"
}
titlebar default "$TEXT"
titlebar hover "$ACCENT"

# --- tool buttons and paging, 16 x 16 ------------------------------------
draw "$OUT/main/icon_refresh_default.png" 16 16 none "$(stroke "$TEXT" 1.3) \
    path 'M 13,8 A 5,5 0 1 1 11.2,4.2' \
    fill $TEXT stroke none polygon 13.6,2.6 13.4,6.4 9.6,6"
draw "$OUT/main/icon_calendar_default.png" 16 16 none "$(stroke "$SOFT" 1.2) \
    roundrectangle 2.5,3.5 13.5,13.5 1.5,1.5 line 2.5,6.5 13.5,6.5 \
    line 5.5,2 5.5,4.5 line 10.5,2 10.5,4.5 \
    fill $SOFT stroke none rectangle 4.6,8.4 6.2,10 rectangle 7.2,8.4 8.8,10 \
    rectangle 9.8,8.4 11.4,10 rectangle 4.6,11 6.2,12.6 rectangle 7.2,11 8.8,12.6"
draw "$OUT/main/icon_search_default.png" 16 16 none "$(stroke "$SOFT" 1.4) \
    circle 7,7 11.5,7 line 10.4,10.4 13.5,13.5"
# Paging arrows that lead nowhere (first or last page) are drawn pale.
paging() {
    draw "$OUT/main/icon_arrow_left$1.png" 16 16 none "$(stroke "$2" 1.4) polyline 10,3.5 5.5,8 10,12.5"
    draw "$OUT/main/icon_arrow_right$1.png" 16 16 none "$(stroke "$2" 1.4) polyline 6,3.5 10.5,8 6,12.5"
    draw "$OUT/main/icon_first$1.png" 16 16 none "$(stroke "$2" 1.4) \
        line 4.5,3.5 4.5,12.5 polyline 11.5,3.5 7,8 11.5,12.5"
    draw "$OUT/main/icon_last$1.png" 16 16 none "$(stroke "$2" 1.4) \
        line 11.5,3.5 11.5,12.5 polyline 4.5,3.5 9,8 4.5,12.5"
}
paging "" "$TEXT"
paging _disabled "$DISABLED"
draw "$OUT/main/red_dot.png" 8 8 none "fill $RED stroke none circle 4,4 8,4"

# --- close buttons -------------------------------------------------------
# The large picture view sits on a dark veil, so its close button is light.
draw "$OUT/main/icon_close_21x21.png" 21 21 none \
    "fill rgba(0,0,0,0.25) stroke $WHITE stroke-width 1.2 circle 10.5,10.5 19.7,10.5 \
    $(stroke "$WHITE" 1.6) line 7.3,7.3 13.7,13.7 line 13.7,7.3 7.3,13.7"
msgbox_close() { draw "$OUT/msgbox/$1" 16 16 none "$(stroke "$2" 1.3) line 4,4 12,12 line 12,4 4,12"; }
msgbox_close icon_close_default.png "$MUTED"
msgbox_close icon_close_hover.png "$ACCENT"

# --- 28 x 28 tip and message box icons -----------------------------------
disc() { echo "fill $1 stroke none circle 14,14 27,14"; }
TICK="$(stroke "$WHITE" 2.2) polyline 8.5,14.3 12.3,18.1 19.5,10.4"
CROSS="$(stroke "$WHITE" 2.2) line 10,10 18,18 line 18,10 10,18"
BANG="$(stroke "$WHITE" 2.4) line 14,7.6 14,15.6 fill $WHITE stroke none circle 14,19.8 15.5,19.8"
draw "$OUT/main/icon_correct.png" 28 28 none "$(disc "$GREEN") $TICK"
draw "$OUT/main/icon_error.png" 28 28 none "$(disc "$RED") $CROSS"
draw "$OUT/msgbox/icon_error.png" 28 28 none "$(disc "$RED") $CROSS"
draw "$OUT/msgbox/icon_hint.png" 28 28 none "$(disc "$ACCENT") $BANG"

# --- video control bar: white on the video, accent on hover ---------------
bar_icons() {
    local c=$1 play=$2 pause=$3 full=$4 reduce=$5
    draw "$OUT/main/$play" 16 16 none \
        "fill $c stroke $c stroke-width 1.2 stroke-linejoin round polygon 4.6,2.8 13.2,8 4.6,13.2"
    draw "$OUT/main/$pause" 16 16 none \
        "fill $c stroke none roundrectangle 3.8,2.8 6.6,13.2 0.8,0.8 roundrectangle 9.4,2.8 12.2,13.2 0.8,0.8"
    draw "$OUT/main/$full" 20 20 none "$(stroke "$c" 1.6) \
        polyline 3.5,7.5 3.5,3.5 7.5,3.5 polyline 12.5,3.5 16.5,3.5 16.5,7.5 \
        polyline 16.5,12.5 16.5,16.5 12.5,16.5 polyline 7.5,16.5 3.5,16.5 3.5,12.5"
    draw "$OUT/main/$reduce" 20 20 none "$(stroke "$c" 1.6) \
        polyline 3.5,7.5 7.5,7.5 7.5,3.5 polyline 12.5,3.5 12.5,7.5 16.5,7.5 \
        polyline 16.5,12.5 12.5,12.5 12.5,16.5 polyline 7.5,16.5 7.5,12.5 3.5,12.5"
}
bar_icons "$WHITE" news_icon_play_1_default.png news_icon_suspended_default.png \
    news_icon_fullscreen_default.png news_icon_fullscreen_reduction_default.png
bar_icons "$ACCENT" news_icon_play_2_hover.png news_icon_suspended_hover.png \
    news_icon_fullscreen_hover.png news_icon_fullscreen_reduction_hover.png

# The big round play button over the recording area (60 x 60, radius 30).
big_play() {
    draw "$OUT/main/$1" 60 60 none "fill $2 stroke none circle 30,30 59.5,30 \
        fill $WHITE stroke $WHITE stroke-width 2 stroke-linejoin round polygon 24.5,19.5 41.5,30 24.5,40.5"
}
big_play news_icon_play_default.png 'rgba(79,84,102,0.6)'
big_play news_icon_play_hover.png "$ACCENT"

# --- picture placeholders -------------------------------------------------
# Pictograms are drawn in a 48 x 48 box and scaled to the placeholder.
PIC_FRAME="$(stroke "$MUTED" 2.5) roundrectangle 6,9 42,39 3,3"
PIC_HILLS="polyline 6.5,34 17,23.5 25,31.5 31,25.5 41.5,36 fill $MUTED stroke none circle 32,17 35.5,17"
GLYPH_COVER="$PIC_FRAME $PIC_HILLS"
GLYPH_FAILED="$PIC_FRAME $PIC_HILLS \
    fill $MUTED stroke $PLACE stroke-width 2.5 circle 37,36 46,36 \
    $(stroke "$PLACE" 2.2) line 33.8,32.8 40.2,39.2 line 40.2,32.8 33.8,39.2"
GLYPH_LOCKED="$(stroke "$MUTED" 2.8) path 'M 16,22 V 16.5 A 8,8 0 0 1 32,16.5 V 22' \
    fill $MUTED stroke none roundrectangle 11,21 37,42 3,3 \
    fill $PLACE circle 24,29.5 26.8,29.5 $(stroke "$PLACE" 2.6) line 24,30.5 24,35.5"
GLYPH_OVERDUE="$(stroke "$MUTED" 2.5) circle 24,24 40,24 polyline 24,14.5 24,24 31,28"

# placeholder FILE W H GLYPH [CAPTION]
placeholder() {
    local file=$1 w=$2 h=$3 glyph=$4 caption=${5:-}
    local k cx cy
    if [ -n "$caption" ]; then
        k=1.2 cy=40
    else
        k=0.62 cy=$(awk "BEGIN { print $h / 2 - 24 * $k }")
    fi
    cx=$(awk "BEGIN { print $w / 2 - 24 * $k }")
    draw "$TMP/glyph.png" "$w" "$h" "$PLACE" "translate $cx,$cy scale $k,$k $glyph"
    if [ -n "$caption" ]; then
        png_out "$OUT/main/$file" "$TMP/glyph.png" -font "$FONT" -pointsize 14 -fill "$SOFT" \
            -gravity north -annotate +0+108 "$caption"
    else
        cp "$TMP/glyph.png" "$OUT/main/$file"
    fi
}
placeholder image_default_cover_101x57.png 101 57 "$GLYPH_COVER"
placeholder image_encrypted_101x57.png 101 57 "$GLYPH_LOCKED"
placeholder image_loading_failed_101x57.png 101 57 "$GLYPH_FAILED"
placeholder image_overdue_101x57.png 101 57 "$GLYPH_OVERDUE"
placeholder image_default_cover_314x176.png 314 176 "$GLYPH_COVER" "图片加载中"
placeholder image_encrypted_314x176.png 314 176 "$GLYPH_LOCKED" "图片已加密"
placeholder image_loading_failed_314x176.png 314 176 "$GLYPH_FAILED" "图片加载失败"
placeholder image_overdue_314x176.png 314 176 "$GLYPH_OVERDUE" "图片已过期"

# --- loading spinner: 40 x 40, 12 frames, endless loop --------------------
# GIF has one-bit transparency: edge pixels are blended onto white and kept
# opaque, so the ring looks smooth on the white pages it is shown on.
frames=()
for i in $(seq 0 11); do
    a=$((i * 30))
    draw "$TMP/rgba.png" 40 40 none "$(stroke "$TRACK" 3.5) circle 20,20 34.5,20 \
        $(stroke "$ACCENT" 3.5) ellipse 20,20 14.5,14.5 $a,$((a + 100))"
    "$CONVERT" "$TMP/rgba.png" -background white -alpha remove "$TMP/rgb.png"
    "$CONVERT" "$TMP/rgba.png" -alpha extract -threshold 1% "$TMP/mask.png"
    f=$(printf '%s/frame%02d.png' "$TMP" "$i")
    "$CONVERT" "$TMP/rgb.png" "$TMP/mask.png" -alpha off -compose copy_opacity -composite "$f"
    frames+=("$f")
done
"$CONVERT" -dispose background -delay 8 -loop 0 "${frames[@]}" -strip "$OUT/main/loading.gif"

echo "skin images written to $OUT"
