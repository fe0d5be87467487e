#!/bin/sh
# Peak memory and time of the whole process, the way users run it
# (`tabrevo IN OUTDIR /SILENT`), for two builds of the program run
# alternately on the same files: BEFORE and AFTER. Prints the median wall
# time, CPU (user + system) and peak RSS of each, and their ratios.
#
#   bench/memory_bench.sh AFTER_BUILD [BEFORE_BUILD] [RUNS] [FILES...]
#
# RUNS defaults to 3. Without FILES, the benchmark files are made in
# $TMPDIR/tabrevo-memory-bench (once) with the committed generators:
# numeric_1m_x10.xlsx, mixed_300k_x12.xlsx, many_sheets_50x5k.xlsx
# (xlsx_generate), mixed_65535x20.xls (make_xls_bench.py, python3-xlwt),
# mixed_300k_x12.xlsb (make_xlsb.sh, node and npm), and the rows series of
# the numeric sheet: 10^5, 10^6 and 10^7 cells (10,000, 100,000 and
# 1,000,000 rows of 10 columns). A BEFORE_BUILD of "-" measures AFTER alone.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
after=${1:?build directory of the program to measure}
before=${2:--}
runs=${3:-3}
[ $# -gt 3 ] && shift 3 || set --
work=${TMPDIR:-/tmp}/tabrevo-memory-bench
mkdir -p "$work/out"

if [ $# -eq 0 ]; then
  gen="$after/bench/xlsx_generate"
  [ -f "$work/many_sheets_50x5k.xlsx" ] || "$gen" "$work" >/dev/null
  for rows in 10000 100000; do
    [ -f "$work/numeric_${rows}_x10.xlsx" ] || "$gen" "$work" --rows "$rows" >/dev/null
  done
  [ -f "$work/mixed_65535x20.xls" ] || /usr/bin/python3 "$here/make_xls_bench.py" "$work/mixed_65535x20.xls"
  if [ ! -f "$work/mixed_300k_x12.xlsb" ] && command -v npm >/dev/null; then
    "$here/make_xlsb.sh" "$after" "$work" >/dev/null || echo "(no .xlsb: make_xlsb.sh failed)"
  fi
  set -- numeric_1m_x10.xlsx mixed_300k_x12.xlsx many_sheets_50x5k.xlsx mixed_65535x20.xls
  [ -f "$work/mixed_300k_x12.xlsb" ] && set -- "$@" mixed_300k_x12.xlsb
  set -- "$@" numeric_10000_x10.xlsx numeric_100000_x10.xlsx numeric_1m_x10.xlsx
  files=""
  for f in "$@"; do files="$files $work/$f"; done
  # shellcheck disable=SC2086
  set -- $files
fi

# One run: "wall cpu rss_kib" of `tabrevo FILE OUTDIR /SILENT`.
measure() {
  rm -rf "$work/out" && mkdir -p "$work/out"
  t0=$(date +%s%N)
  /usr/bin/time -f '%U %S %M' -o "$work/time" "$1/tabrevo" "$2" "$work/out" /SILENT >/dev/null 2>&1 || true
  t1=$(date +%s%N)
  awk -v ns=$((t1 - t0)) '{printf "%.3f %.2f %d\n", ns / 1e9, $1 + $2, $3}' "$work/time"
}

median() { sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

printf '%-26s %-7s %9s %9s %10s\n' file build wall cpu "peak RSS"
for file in "$@"; do
  name=$(basename "$file")
  : >"$work/after.txt"
  : >"$work/before.txt"
  i=0
  while [ "$i" -lt "$runs" ]; do
    i=$((i + 1))
    [ "$before" = "-" ] || measure "$before" "$file" >>"$work/before.txt"
    measure "$after" "$file" >>"$work/after.txt"
  done
  for which in before after; do
    [ "$which" = before ] && [ "$before" = "-" ] && continue
    w=$(cut -d' ' -f1 "$work/$which.txt" | median)
    c=$(cut -d' ' -f2 "$work/$which.txt" | median)
    m=$(cut -d' ' -f3 "$work/$which.txt" | median)
    printf '%-26s %-7s %8.3fs %8.2fs %7.1f MiB\n' "$name" "$which" "$w" "$c" "$(awk -v m="$m" 'BEGIN {print m / 1024}')"
    eval "${which}_w=$w ${which}_m=$m"
  done
  if [ "$before" != "-" ]; then
    # shellcheck disable=SC2154
    printf '%-26s %-7s %8.2fx %9s %8.2fx\n' "$name" ratio "$(awk -v a="$after_w" -v b="$before_w" 'BEGIN {print a / b}')" "" \
      "$(awk -v a="$after_m" -v b="$before_m" 'BEGIN {print a / b}')"
  fi
done
