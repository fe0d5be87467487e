#!/usr/bin/env bash
# Draws the wizard's pictures with ImageMagick and writes them beside this
# script:
#   header.bmp     500 x 60, the band above the source, options and progress
#                  pages; the wizard shows it at the right of the band, so the
#                  motif sits at its right end and the rest is the band's white
#   watermark.bmp  500 x 314, beside the welcome and completion pages; only
#                  about the left 164 pixels show next to the page's text, so
#                  the blue panel and its motif live there and the rest is white
#   tabrevo.ico    the program's icon: 16, 32 and 48 pixel images
# Both bitmaps are uncompressed 24 bits per pixel (BMP3), which every version
# of the property sheet loads. The results are committed, so builds never
# need ImageMagick; run this script again after changing a picture.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The palette: a muted blue for panels, a deeper one for outlines and header
# rows, and a pale blue for the text lines.
blue_top='#4d79a6'
blue_bottom='#1f3f63'
deep='#2b5583'
pale='#dbe6f1'

# Writes a 24-bit uncompressed BMP with no alpha channel and no colour
# profile, so the file is the same on every run.
write_bmp() {
  convert "$1" -alpha off -type TrueColor -strip -compress None "BMP3:$2"
}

# --- watermark -------------------------------------------------------------
# The left panel: a vertical gradient; on it a small sheet (a grid with a
# darker header row), an arrow, and the text lines the sheet becomes.
panel_w=164
convert -size "${panel_w}x314" "gradient:${blue_top}-${blue_bottom}" "$work/panel.png"

# The sheet: 96 x 78 at (34, 58), header row 14 high, four columns, four rows.
sheet_draw="fill white stroke none roundrectangle 34,58 130,136 4,4
 fill '#9fb9d6' rectangle 34,62 130,72 roundrectangle 34,58 130,72 4,4
 stroke '#8aa6c6' stroke-width 1
 line 58,58 58,136 line 82,58 82,136 line 106,58 106,136
 line 34,72 130,72 line 34,88 130,88 line 34,104 130,104 line 34,120 130,120"

# The arrow from the sheet down to the text.
arrow_draw="stroke none fill '${pale}'
 rectangle 79,148 85,170 polygon 70,168 94,168 82,182"

# Text lines: records of fields separated by short gaps, as in the output.
lines_draw="stroke none fill '${pale}'
 roundrectangle 34,196 60,201 2,2 roundrectangle 66,196 100,201 2,2 roundrectangle 106,196 130,201 2,2
 roundrectangle 34,210 54,215 2,2 roundrectangle 60,210 96,215 2,2 roundrectangle 102,210 122,215 2,2
 roundrectangle 34,224 64,229 2,2 roundrectangle 70,224 92,229 2,2 roundrectangle 98,224 130,229 2,2
 roundrectangle 34,238 58,243 2,2 roundrectangle 64,238 104,243 2,2 roundrectangle 110,238 126,243 2,2"

convert "$work/panel.png" \
  -draw "$sheet_draw" -draw "$arrow_draw" -draw "$lines_draw" \
  "$work/panel_drawn.png"

# A thin lighter edge where the panel meets the white page.
convert -size 500x314 xc:white "$work/panel_drawn.png" -geometry +0+0 -composite \
  -fill '#c9d7e6' -draw "rectangle $((panel_w)),0 $((panel_w + 1)),313" \
  "$work/watermark.png"
write_bmp "$work/watermark.png" "$here/watermark.bmp"

# --- header ----------------------------------------------------------------
# White, with a 44 x 44 motif 8 pixels from the right end: the same sheet in
# small, with the text lines beside it, on a rounded blue tile.
tile="fill '${deep}' stroke none roundrectangle 448,8 491,51 6,6"
small_sheet="fill white roundrectangle 454,14 474,38 2,2
 fill '#9fb9d6' rectangle 454,14 474,18
 stroke '#8aa6c6' stroke-width 1
 line 461,14 461,38 line 468,14 468,38 line 454,24 474,24 line 454,31 474,31"
small_lines="stroke none fill '${pale}'
 rectangle 478,16 486,18 rectangle 478,22 484,24 rectangle 478,28 486,30 rectangle 478,34 483,36
 rectangle 454,43 474,45"
convert -size 500x60 xc:white \
  -draw "$tile" -draw "$small_sheet" -draw "$small_lines" "$work/header.png"
write_bmp "$work/header.png" "$here/header.bmp"

# --- icon ------------------------------------------------------------------
# Drawn once per size (not scaled down) so that every line stays sharp: a
# white sheet with a blue header row and grid, on a blue rounded tile, with
# text lines at its foot from 32 pixels up.
icon() {
  local n=$1 out=$2
  local s
  s=$(awk -v n="$n" 'BEGIN { print n / 48 }')
  # Coordinates below are for 48 pixels; px scales one to the current size.
  px() { awk -v v="$1" -v s="$s" 'BEGIN { printf "%d", v * s + 0.5 }'; }
  local r=$(px 8) edge=$((n - 1))
  local sx0 sy0 sx1 sy1 hy c1 c2 c3 r1 r2
  sx0=$(px 9); sy0=$(px 7); sx1=$(px 38); sy1=$(px 32); hy=$(px 13)
  c1=$(px 17); c2=$(px 25); c3=$(px 32); r1=$(px 19); r2=$(px 26)
  local draw="fill '${deep}' stroke none roundrectangle 0,0 ${edge},${edge} ${r},${r}
   fill white rectangle ${sx0},${sy0} ${sx1},${sy1}
   fill '#9fb9d6' rectangle ${sx0},${sy0} ${sx1},${hy}
   fill none stroke '#6f93bb' stroke-width 1
   line ${c1},${sy0} ${c1},${sy1} line ${c2},${sy0} ${c2},${sy1} line ${c3},${sy0} ${c3},${sy1}
   line ${sx0},${r1} ${sx1},${r1} line ${sx0},${r2} ${sx1},${r2}"
  if [ "$n" -ge 32 ]; then
    local ty1 ty2 th
    ty1=$(px 36); ty2=$(px 41); th=$(px 2)
    draw="$draw
   stroke none fill '${pale}'
   rectangle ${sx0},${ty1} $(px 20),$((ty1 + th)) rectangle $(px 24),${ty1} ${sx1},$((ty1 + th))
   rectangle ${sx0},${ty2} $(px 16),$((ty2 + th)) rectangle $(px 20),${ty2} $(px 32),$((ty2 + th))"
  fi
  convert -size "${n}x${n}" xc:none -draw "$draw" "PNG32:$out"
}
icon 16 "$work/icon16.png"
icon 32 "$work/icon32.png"
icon 48 "$work/icon48.png"
convert "$work/icon16.png" "$work/icon32.png" "$work/icon48.png" -strip "$here/tabrevo.ico"

identify "$here/header.bmp" "$here/watermark.bmp" "$here/tabrevo.ico"
