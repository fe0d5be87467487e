#!/usr/bin/env bash
# Pictures of every wizard page, for looking at the layout: starts a virtual
# display, runs the Windows build's tabrevo.exe under Wine, walks the pages
# with wizard_driver.exe and takes a picture of the screen on each.
#
#   tests/program/wizard/screenshots.sh BUILD_DIR PICTURE_DIR
#
# BUILD_DIR is a Windows x64 build folder (tabrevo.exe, wizard_driver.exe).
# Needs Wine (64-bit), ImageMagick's import and python3, and Xvfb when no
# DISPLAY is set (then a virtual display :77, or SCREENSHOT_DISPLAY, is
# started and stopped again). WINEPREFIX defaults to a prefix of its own.
# Give a prefix whose server already runs on another display and the
# windows appear there: Wine keeps the display its server first met. The
# script tells Wine to draw the window frames itself in the prefix, so that
# the captions show on the pictures.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR PICTURE_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
mkdir -p "$2"
pictures=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/../../.." && pwd)
for f in tabrevo.exe wizard_driver.exe; do
  [ -f "$build/$f" ] || { echo "$0: $build/$f is missing (build the targets tabrevo and wizard_driver)" >&2; exit 1; }
done

export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/tabrevo-screenshots-prefix}
mkdir -p "$WINEPREFIX"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
display=${SCREENSHOT_DISPLAY:-:77}
work=$(mktemp -d)
xvfb_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  sleep 1
fi
"$wine" wineboot -i > /dev/null 2>&1 || true
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f > /dev/null 2>&1 || true

# A workbook large enough that the progress page stays a few seconds, and
# the sample workbook for the other pages.
python3 - "$work/large.xlsx" <<'EOF'
import sys, zipfile
rows = "".join('<row r="%d"><c t="inlineStr"><is><t>row %d</t></is></c><c><v>%d</v></c></row>' % (i, i, i)
               for i in range(1, 1500001))
ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>')
    z.writestr("_rels/.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' % rel)
    z.writestr("xl/workbook.xml", '<workbook %s xmlns:r="%s"><sheets><sheet name="Large" sheetId="1" r:id="rId1"/>'
               '</sheets></workbook>' % (ns, rel))
    z.writestr("xl/_rels/workbook.xml.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/'
               '2006/relationships"><Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
               '</Relationships>' % rel)
    z.writestr("xl/worksheets/sheet1.xml", '<worksheet %s><sheetData>%s</sheetData></worksheet>' % (ns, rows))
EOF
cp "$root/tests/fixtures/sample/sample.xls" "$work/sample.xls"
mkdir -p "$work/out"
cp "$build/tabrevo.exe" "$work/"
[ -f "$build/wizards.chm" ] && cp "$build/wizards.chm" "$work/"

winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
drive() { "$wine" "$build/wizard_driver.exe" "$@" | tr -d '\r'; }
shot() {
  sleep 0.7  # let the page paint
  import -window root "$pictures/$1.png"
  echo "$pictures/$1.png"
}

# First walk: every page on the sample workbook, the summary box at the end.
(cd "$work" && "$wine" tabrevo.exe /OPEN=0) &
program_pid=$!
drive page 107
shot 1-welcome
drive press next
drive page 108
drive set 200 "$(winpath "$work/sample.xls")"
shot 2-source
drive press next
drive page 109
drive set 1022 "$(winpath "$work/out")"
shot 3-options
drive press next
drive page 110
shot 5-completion
drive click 1034
drive wait-box "Press Ctrl-C to copy command line parameters to the clipboard"
shot 6-summary
drive close-box "Press Ctrl-C to copy command line parameters to the clipboard"
drive press cancel
wait "$program_pid" || true
program_pid=""

# Second walk: the progress page of a long conversion, then Cancel.
(cd "$work" && "$wine" tabrevo.exe /OPEN=0) &
program_pid=$!
drive page 107
drive press next
drive page 108
drive set 200 "$(winpath "$work/large.xlsx")"
drive press next
drive page 109
drive set 1022 "$(winpath "$work/out")"
drive press next
drive page 111
sleep 2.5  # past two seconds the time estimate shows
shot 4-progress
drive press cancel
wait "$program_pid" || true
program_pid=""
