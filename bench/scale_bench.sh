#!/bin/sh
# Whether the whole process's time grows in proportion to the work: cells
# in one sheet (10^5, 10^6, 10^7), sheets in one workbook (10, 100, 1,000
# sheets of 1,000 cells) and workbooks in one batch run (10, 100, 1,000
# copies of a 1,000-cell workbook, all appended to one output file, as a
# batch run writes the same sheet name). Prints the median wall and CPU of RUNS
# runs of `tabrevo IN OUTDIR /SILENT` (GNU time) and the time per unit.
#
#   bench/scale_bench.sh BUILD_DIR [RUNS]
#
# The workbooks are made in $TMPDIR/tabrevo-scale-bench (once) with the
# committed generators: xlsx_generate --rows for the cells, and
# make_sheets_bench.py (python3-xlsxwriter) for the sheets and the batch.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?build directory of the program to measure}
runs=${2:-5}
work=${TMPDIR:-/tmp}/tabrevo-scale-bench
mkdir -p "$work"

for rows in 10000 100000 1000000; do
  [ -f "$work/numeric_${rows}_x10.xlsx" ] || "$build/bench/xlsx_generate" "$work" --rows "$rows" >/dev/null
done
for sheets in 10 100 1000; do
  [ -f "$work/sheets_$sheets.xlsx" ] || /usr/bin/python3 "$here/make_sheets_bench.py" "$work/sheets_$sheets.xlsx" "$sheets"
done
[ -f "$work/one.xlsx" ] || /usr/bin/python3 "$here/make_sheets_bench.py" "$work/one.xlsx" 1
for count in 10 100 1000; do
  if [ ! -d "$work/batch_$count" ]; then
    mkdir -p "$work/batch_$count"
    i=0
    while [ $i -lt $count ]; do cp "$work/one.xlsx" "$work/batch_$count/b$i.xlsx"; i=$((i + 1)); done
  fi
done

median() { sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

# measure LABEL UNITS UNIT_NAME INPUT...: the median wall and CPU, and per unit.
measure() {
  label=$1 units=$2 unit=$3
  shift 3
  : >"$work/wall"
  : >"$work/cpu"
  i=0
  while [ $i -lt "$runs" ]; do
    rm -rf "$work/out" && mkdir -p "$work/out"
    t0=$(date +%s%N)
    /usr/bin/time -f '%U %S' -o "$work/time" "$build/tabrevo" "$@" "$work/out" /SILENT >/dev/null 2>&1 || true
    t1=$(date +%s%N)
    echo $((t1 - t0)) | awk '{printf "%.4f\n", $1 / 1e9}' >>"$work/wall"
    awk '{printf "%.3f\n", $1 + $2}' "$work/time" >>"$work/cpu"
    i=$((i + 1))
  done
  wall=$(median <"$work/wall")
  cpu=$(median <"$work/cpu")
  awk -v l="$label" -v w="$wall" -v c="$cpu" -v n="$units" -v u="$unit" \
    'BEGIN {printf "%-28s %9.3fs %8.2fs %12.2f ms per %s\n", l, w, c, w * 1000 / n, u}'
}

printf '%-28s %10s %9s %s\n' run wall cpu "wall per unit"
measure "10^5 cells" 0.1 "10^6 cells" "$work/numeric_10000_x10.xlsx"
measure "10^6 cells" 1 "10^6 cells" "$work/numeric_100000_x10.xlsx"
measure "10^7 cells" 10 "10^6 cells" "$work/numeric_1000000_x10.xlsx"
for sheets in 10 100 1000; do
  measure "$sheets sheets of 1,000 cells" "$sheets" sheet "$work/sheets_$sheets.xlsx"
done
for count in 10 100 1000; do
  measure "batch of $count workbooks" "$count" workbook "$work/batch_$count/*.xlsx"
done
