#!/usr/bin/env bash
# Draws the wizard's pictures with ImageMagick and writes them beside this
# script:
#   header.bmp     500 x 60, for the band above the source, options and
#                  progress pages. The property sheet shows a 49 x 49 pixel
#                  square of it, taken from its top-left corner, at the right
#                  end of the white band; the motif fills that square and the
#                  rest of the bitmap is the band's white.
#   watermark.bmp  500 x 314, beside the welcome and completion pages. Only
#                  its left 164 pixels are shown, beside the page's text: a
#                  blue panel with the motif, ending in white at the foot,
#                  where the page's version label sits on it. The rest is
#                  white, the page's colour.
#   tabrevo.ico    the program's icon: 16, 32 and 48 pixel images.
# Both bitmaps are uncompressed 24 bits per pixel (BMP3): with no colour
# table, the sheet shows their colours unchanged. The results are committed,
# so builds never need ImageMagick; run this script again after changing a
# picture.
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
# The left panel: a vertical gradient down to the white foot (from y 280),
# with a small sheet (a grid with a darker header row), an arrow, and the
# text lines the sheet becomes.
panel_w=164
panel_h=280
convert -size "${panel_w}x${panel_h}" "gradient:${blue_top}-${blue_bottom}" "$work/panel.png"

# The sheet: 96 x 78 at (34, 48), header row 14 high, four columns, four rows.
sheet_draw="fill white stroke none roundrectangle 34,48 130,126 4,4
 fill '#9fb9d6' rectangle 34,52 130,62 roundrectangle 34,48 130,62 4,4
 stroke '#8aa6c6' stroke-width 1
 line 58,48 58,126 line 82,48 82,126 line 106,48 106,126
 line 34,62 130,62 line 34,78 130,78 line 34,94 130,94 line 34,110 130,110"

# The arrow from the sheet down to the text.
arrow_draw="stroke none fill '${pale}'
 rectangle 79,138 85,160 polygon 70,158 94,158 82,172"

# Text lines: records of fields separated by short gaps, as in the output.
lines_draw="stroke none fill '${pale}'
 roundrectangle 34,186 60,191 2,2 roundrectangle 66,186 100,191 2,2 roundrectangle 106,186 130,191 2,2
 roundrectangle 34,200 54,205 2,2 roundrectangle 60,200 96,205 2,2 roundrectangle 102,200 122,205 2,2
 roundrectangle 34,214 64,219 2,2 roundrectangle 70,214 92,219 2,2 roundrectangle 98,214 130,219 2,2
 roundrectangle 34,228 58,233 2,2 roundrectangle 64,228 104,233 2,2 roundrectangle 110,228 126,233 2,2"

convert "$work/panel.png" \
  -draw "$sheet_draw" -draw "$arrow_draw" -draw "$lines_draw" \
  "$work/panel_drawn.png"
convert -size 500x314 xc:white "$work/panel_drawn.png" -geometry +0+0 -composite "$work/watermark.png"
write_bmp "$work/watermark.png" "$here/watermark.bmp"

# --- header ----------------------------------------------------------------
# White, with the motif in the 49 x 49 square at the top-left corner: the
# same sheet in small, with the text lines beside and below it, on a rounded
# blue tile.
tile="fill '${deep}' stroke none roundrectangle 2,2 46,46 6,6"
small_sheet="fill white roundrectangle 8,8 28,32 2,2
 fill '#9fb9d6' rectangle 8,8 28,12
 stroke '#8aa6c6' stroke-width 1
 line 15,8 15,32 line 22,8 22,32 line 8,18 28,18 line 8,25 28,25"
small_lines="stroke none fill '${pale}'
 rectangle 32,10 40,12 rectangle 32,16 38,18 rectangle 32,22 40,24 rectangle 32,28 37,30
 rectangle 8,37 28,39"
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
