#!/bin/sh
# Writes mixed_300k_x12.xlsb: the mixed workbook of xlsx_generate saved as
# .xlsb by SheetJS (the npm package xlsx@0.18.5), since this project has no
# .xlsb writer of its own. The package is installed into a scratch folder,
# never into the source tree.
#
#   bench/make_xlsb.sh BUILD_DIR OUT_DIR
#
# Needs node and npm. Runs xlsx_generate first when OUT_DIR lacks the .xlsx.
set -eu
build=${1:?build directory}
out=${2:?output folder}
mkdir -p "$out"
out=$(cd "$out" && pwd)
[ -f "$out/mixed_300k_x12.xlsx" ] || "$build/bench/xlsx_generate" "$out"
npmdir=${TMPDIR:-/tmp}/tabrevo-sheetjs
[ -d "$npmdir/node_modules/xlsx" ] ||
  npm install --no-audit --no-fund --silent --prefix "$npmdir" xlsx@0.18.5
# cellNF and cellDates keep the number formats and the date cells as they
# are; cellFormula keeps the formula column a formula; bookSST writes
# strings to a shared-strings part as Excel does.
NODE_PATH="$npmdir/node_modules" node --max-old-space-size=8192 -e '
const XLSX = require("xlsx");
const [src, dst] = process.argv.slice(1);
const wb = XLSX.readFile(src, { cellNF: true, cellFormula: true, cellStyles: true });
XLSX.writeFile(wb, dst, { bookType: "xlsb", bookSST: true, compression: true });
' "$out/mixed_300k_x12.xlsx" "$out/mixed_300k_x12.xlsb"
echo "wrote $out/mixed_300k_x12.xlsb, $(wc -c <"$out/mixed_300k_x12.xlsb") bytes"
