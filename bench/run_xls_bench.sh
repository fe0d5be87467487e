#!/bin/sh
# The .xls benchmark: python3-xlrd + csv against tabrevo's reader + export,
# both converting the same 65,535 x 20 workbook to CSV, alternately, in one
# run. Prints each run's wall-clock and CPU (user + system) seconds, the
# medians and the ratios.
#
#   bench/run_xls_bench.sh BUILD_DIR [RUNS]     (RUNS defaults to 5)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?build directory}
runs=${2:-5}
work=${TMPDIR:-/tmp}/tabrevo-xls-bench
mkdir -p "$work/ours" "$work/xlrd"
file="$work/mixed_65535x20.xls"
[ -f "$file" ] || /usr/bin/python3 "$here/make_xls_bench.py" "$file"
echo "workbook: $file, $(wc -c <"$file") bytes"
# Wall seconds (from the clock, to the millisecond) and CPU seconds (from
# time(1), to 10 ms) of one command, as "wall cpu".
timed() {
  t0=$(date +%s%N)
  /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null
  t1=$(date +%s%N)
  awk -v ns=$((t1 - t0)) '{printf "%.3f %.2f\n", ns / 1e9, $1 + $2}' "$work/time"
}
: >"$work/ours.txt"
: >"$work/xlrd.txt"
i=0
while [ "$i" -lt "$runs" ]; do
  i=$((i + 1))
  a=$(timed "$build/bench/xls_bench" "$file" "$work/ours")
  b=$(timed /usr/bin/python3 "$here/xlrd_to_csv.py" "$file" "$work/xlrd")
  echo "$a" >>"$work/ours.txt"
  echo "$b" >>"$work/xlrd.txt"
  echo "run $i: tabrevo $a, xlrd+csv $b (wall s, cpu s)"
done
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
ow=$(cut -d' ' -f1 "$work/ours.txt" | median); oc=$(cut -d' ' -f2 "$work/ours.txt" | median)
tw=$(cut -d' ' -f1 "$work/xlrd.txt" | median); tc=$(cut -d' ' -f2 "$work/xlrd.txt" | median)
awk -v ow="$ow" -v oc="$oc" -v tw="$tw" -v tc="$tc" 'BEGIN {
  printf "median wall: tabrevo %.3f s, xlrd+csv %.3f s, ratio %.1fx\n", ow, tw, tw / ow
  printf "median cpu:  tabrevo %.3f s, xlrd+csv %.3f s, ratio %.1fx\n", oc, tc, tc / oc
}'
