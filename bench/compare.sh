#!/bin/bash
# tabrevo against the converters users would pick instead, on the benchmark
# workbooks, as whole processes, in alternation, on one machine:
#
#   xlsx2csv                 .xlsx               every sheet (-a)
#   ssconvert (gnumeric)     .xlsx .xls          every sheet (-S)
#   LibreOffice (soffice)    .xlsx .xlsb .xls    every sheet (CSV filter, sheet -1)
#   pandas + openpyxl        .xlsx               read_excel(sheet_name=None) + to_csv
#                            (Debian 12's pandas refuses its xlrd 1.2.0 for .xls)
#   xlrd + csv               .xls                bench/xlrd_to_csv.py
#   xls2csv (catdoc)         .xls                every sheet
#   SheetJS xlsx@0.18.5      all                 readFile + sheet_to_csv per sheet
#   tabrevo                  all                 tabrevo IN OUTDIR /SILENT
#
# beside the two floors of every ZIP package: zlib alone inflating the sheet
# and shared-strings parts (xlsx_bench --inflate) and ISA-L doing the same
# (xlsx_bench --inflate-isal).
#
#   bench/compare.sh BUILD_DIR [RUNS]         (RUNS defaults to 5)
#
# Environment:
#   WORK=DIR       workbooks, outputs and timings ($TMPDIR/tabrevo-compare)
#   FILES="..."    which of numeric.xlsx mixed.xlsx many_sheets.xlsx
#                  mixed.xlsb big.xls to run (all by default; mixed.xlsb is
#                  made by SheetJS, about 10 minutes and 6 GB the first time)
#   TOOLS="..."    which of tabrevo xlsx2csv ssconvert libreoffice pandas
#                  xlrd xls2csv sheetjs (all that are present by default)
#   INSTALL=1      install the missing peers first (apt-get as root, npm)
#   SLOW_RUNS=N    runs of the slow peers (LibreOffice, pandas, SheetJS,
#                  ssconvert): 1 by default, since one run of theirs on the
#                  numeric workbook takes minutes
#   LIMIT=S        seconds before a peer's run is given up (600)
#
# Every tool writes CSV of every sheet into a fresh folder; the times are
# the kernel's accounting of the whole process tree (GNU time): wall, CPU
# (user + system), peak RSS of the largest process. Medians are printed as
# a Markdown table per workbook, with each figure's ratio to tabrevo's and
# to the two floors.
set -euo pipefail
# Debian's python3, where the packages below go (not one a user put first).
python=/usr/bin/python3
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
runs=${2:-5}
work=${WORK:-${TMPDIR:-/tmp}/tabrevo-compare}
slow_runs=${SLOW_RUNS:-1}
limit=${LIMIT:-600}
files=${FILES:-numeric.xlsx mixed.xlsx many_sheets.xlsx mixed.xlsb big.xls}
mkdir -p "$work"
work=$(cd "$work" && pwd)
sheetjs_dir=${TMPDIR:-/tmp}/tabrevo-sheetjs  # shared with make_xlsb.sh
lo_profile=$work/lo-profile

apt_install() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "compare: not root, cannot install $*" >&2
    return 0
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" >/dev/null ||
    { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" >/dev/null; }
}

[ -x /usr/bin/time ] || apt_install time
[ -x /usr/bin/time ] || { echo "compare: GNU time (/usr/bin/time, package time) is needed" >&2; exit 1; }

if [ "${INSTALL:-0}" = 1 ]; then
  # libreoffice-calc-nogui: the same spreadsheet and converter as
  # libreoffice-calc, without the desktop.
  want=()
  command -v xlsx2csv >/dev/null || want+=(xlsx2csv)
  command -v ssconvert >/dev/null || want+=(gnumeric)
  command -v soffice >/dev/null || want+=(libreoffice-calc-nogui)
  command -v xls2csv >/dev/null || want+=(catdoc)
  $python -c 'import pandas' 2>/dev/null || want+=(python3-pandas)
  $python -c 'import openpyxl' 2>/dev/null || want+=(python3-openpyxl)
  $python -c 'import xlrd' 2>/dev/null || want+=(python3-xlrd)
  $python -c 'import xlwt' 2>/dev/null || want+=(python3-xlwt)
  command -v npm >/dev/null || want+=(nodejs npm)
  [ ${#want[@]} -eq 0 ] || { echo "compare: installing ${want[*]}"; apt_install "${want[@]}"; }
fi
if command -v npm >/dev/null && [ ! -d "$sheetjs_dir/node_modules/xlsx" ] && [ "${INSTALL:-0}" = 1 ]; then
  npm install --no-audit --no-fund --silent --prefix "$sheetjs_dir" xlsx@0.18.5 >/dev/null
fi

# --- the workbooks -------------------------------------------------------------
gen=$work/generated
mkdir -p "$gen"
for f in $files; do
  case $f in
    numeric.xlsx | mixed.xlsx | many_sheets.xlsx)
      [ -f "$gen/many_sheets_50x5k.xlsx" ] || "$build/bench/xlsx_generate" "$gen"
      ;;
    mixed.xlsb)
      [ -f "$gen/mixed_300k_x12.xlsb" ] || "$here/make_xlsb.sh" "$build" "$gen"
      ;;
    big.xls)
      [ -f "$gen/mixed_65535x20.xls" ] || $python "$here/make_xls_bench.py" "$gen/mixed_65535x20.xls"
      ;;
  esac
done
path_of() {
  case $1 in
    numeric.xlsx) echo "$gen/numeric_1m_x10.xlsx" ;;
    mixed.xlsx) echo "$gen/mixed_300k_x12.xlsx" ;;
    many_sheets.xlsx) echo "$gen/many_sheets_50x5k.xlsx" ;;
    mixed.xlsb) echo "$gen/mixed_300k_x12.xlsb" ;;
    big.xls) echo "$gen/mixed_65535x20.xls" ;;
  esac
}

# --- the tools -----------------------------------------------------------------
# have TOOL: present on this machine; reads TOOL FILE: can read that kind.
have() {
  case $1 in
    tabrevo) [ -x "$build/tabrevo" ] ;;
    zlib) [ -x "$build/bench/xlsx_bench" ] ;;
    isal) ! { "$build/bench/xlsx_bench" --inflate-isal /dev/null 2>&1 || true; } | grep -q "no ISA-L" ;;
    xlsx2csv) command -v xlsx2csv >/dev/null ;;
    ssconvert) command -v ssconvert >/dev/null ;;
    libreoffice) command -v soffice >/dev/null ;;
    pandas) $python -c 'import pandas, openpyxl' 2>/dev/null ;;
    xlrd) $python -c 'import xlrd' 2>/dev/null ;;
    xls2csv) command -v xls2csv >/dev/null ;;
    sheetjs) [ -d "$sheetjs_dir/node_modules/xlsx" ] && command -v node >/dev/null ;;
  esac
}
reads() {
  case $1:$2 in
    zlib:*.xls | isal:*.xls) return 1 ;;
    xlsx2csv:*.xlsx) return 0 ;;
    xlsx2csv:*) return 1 ;;
    ssconvert:*.xlsb | pandas:*.xlsb | pandas:*.xls) return 1 ;;
    xlrd:*.xls) return 0 ;;
    xlrd:*) return 1 ;;
    xls2csv:*.xls) return 0 ;;
    xls2csv:*) return 1 ;;
    *) return 0 ;;
  esac
}
slow() { case $1 in libreoffice | pandas | sheetjs | ssconvert) return 0 ;; *) return 1 ;; esac; }

pandas_script='
import sys, pandas as pd
src, out = sys.argv[1], sys.argv[2]
for i, (name, df) in enumerate(pd.read_excel(src, sheet_name=None, header=None).items()):
    df.to_csv(f"{out}/{i}.csv", index=False, header=False)
'
sheetjs_script='
const XLSX = require("xlsx"), fs = require("fs");
const [src, out] = process.argv.slice(1);
const wb = XLSX.readFile(src, { cellNF: true, dense: true });
wb.SheetNames.forEach((n, i) => fs.writeFileSync(`${out}/${i}.csv`, XLSX.utils.sheet_to_csv(wb.Sheets[n])));
'

# command TOOL FILE OUTDIR: sets cmd (the conversion, or the floor, of FILE)
# and stdout (where its standard output goes).
command_of() {
  local tool=$1 file=$2 out=$3
  stdout=$work/log.$tool
  case $tool in
    tabrevo) cmd=("$build/tabrevo" "$file" "$out" /SILENT) ;;
    zlib) cmd=("$build/bench/xlsx_bench" --inflate "$file") ;;
    isal) cmd=("$build/bench/xlsx_bench" --inflate-isal "$file") ;;
    xlsx2csv) cmd=(xlsx2csv -a "$file" "$out") ;;
    ssconvert) cmd=(ssconvert -S "$file" "$out/%n.csv") ;;
    libreoffice)
      cmd=(soffice -env:UserInstallation="file://$lo_profile" --headless --convert-to
        'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' --outdir "$out" "$file") ;;
    pandas) cmd=($python -c "$pandas_script" "$file" "$out") ;;
    xlrd) cmd=($python "$here/xlrd_to_csv.py" "$file" "$out") ;;
    xls2csv)
      cmd=(xls2csv "$file")
      stdout=$out/all.csv ;;
    sheetjs) cmd=(env NODE_PATH="$sheetjs_dir/node_modules" node --max-old-space-size=12288 -e "$sheetjs_script" "$file" "$out") ;;
  esac
}

# timed TOOL NAME: appends "wall cpu rss_kib" (or "fail") to its timing file.
timed() {
  local tool=$1 name=$2 file out t0 t1 rc=0
  file=$(path_of "$name")
  out=$work/out/$tool
  rm -rf "$out" && mkdir -p "$out"
  command_of "$tool" "$file" "$out"
  t0=$(date +%s%N)
  /usr/bin/time -f '%U %S %M' -o "$work/time" timeout "$limit" "${cmd[@]}" >"$stdout" 2>"$work/err.$tool" || rc=$?
  t1=$(date +%s%N)
  if [ "$rc" -ne 0 ]; then
    echo "fail" >>"$work/t.$name.$tool"
    echo "  $tool: failed (exit $rc); see $work/err.$tool" >&2
    return
  fi
  awk -v ns=$((t1 - t0)) 'END {printf "%.3f %.2f %d\n", ns / 1e9, $1 + $2, $3}' "$work/time" >>"$work/t.$name.$tool"
}

median() { sort -g | awk '{v[NR] = $1} END {if (NR == 0) print 0; else print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }

tools=${TOOLS:-tabrevo xlsx2csv ssconvert libreoffice pandas xlrd xls2csv sheetjs}
echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), $runs runs ($slow_runs of the slow peers), alternating"
for name in $files; do
  file=$(path_of "$name")
  [ -f "$file" ] || { echo "compare: $name is missing ($file)" >&2; continue; }
  rm -f "$work"/t."$name".*
  list=()
  for t in zlib isal $tools; do
    have "$t" && reads "$t" "$name" && list+=("$t")
  done
  echo
  echo "== $name ($(du -h "$file" | cut -f1)): ${list[*]}"
  # A warm-up run of each quick tool, not counted (the slow ones take long
  # enough that a cold start does not matter).
  for t in "${list[@]}"; do slow "$t" || timed "$t" "$name"; done
  rm -f "$work"/t."$name".*
  for ((i = 1; i <= runs; i++)); do
    for t in "${list[@]}"; do
      if slow "$t" && [ "$i" -gt "$slow_runs" ]; then continue; fi
      timed "$t" "$name"
    done
  done
  # The table: medians, and ratios of the wall and CPU times.
  med() { { grep -v fail "$work/t.$name.$1" 2>/dev/null || true; } | cut -d' ' -f"$2" | median; }
  tw=$(med tabrevo 1)
  tc=$(med tabrevo 2)
  zw=$(med zlib 1)
  zc=$(med zlib 2)
  iw=$(med isal 1)
  echo
  echo "| $name | runs | wall s | CPU s | peak RSS MiB | wall / tabrevo | CPU / tabrevo | wall / zlib floor | CPU / zlib floor | wall / ISA-L floor |"
  echo "|---|---|---|---|---|---|---|---|---|---|"
  for t in "${list[@]}"; do
    n=$(grep -vc fail "$work/t.$name.$t" || true)
    if [ "$n" = 0 ]; then
      echo "| $t | 0 | failed or over ${limit} s | | | | | | | |"
      continue
    fi
    awk -v t="$t" -v n="$n" -v w="$(med "$t" 1)" -v c="$(med "$t" 2)" -v m="$(med "$t" 3)" \
      -v tw="$tw" -v tc="$tc" -v zw="$zw" -v zc="$zc" -v iw="$iw" 'BEGIN {
        printf "| %s | %d | %.3f | %.2f | %.0f | %s | %s | %s | %s | %s |\n", t, n, w, c, m / 1024,
          (tw > 0 ? sprintf("%.2fx", w / tw) : ""), (tc > 0 ? sprintf("%.2fx", c / tc) : ""),
          (zw > 0 ? sprintf("%.2fx", w / zw) : ""), (zc > 0 ? sprintf("%.2fx", c / zc) : ""),
          (iw > 0 ? sprintf("%.2fx", w / iw) : "")
      }'
  done
done
