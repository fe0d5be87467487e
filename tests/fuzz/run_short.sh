#!/usr/bin/env bash
# A short fuzzing run: run_short.sh <fuzzer> <seconds> [seed folders...]
# New inputs go to a scratch folder; the seed folders are only read. The
# target's dictionary (here, named after what it reads) is passed with
# -dict=; the targets that take any workbook get every workbook dictionary.
# Files the targets write go below the scratch folder too ($TMPDIR).
# Fails (non-zero) when the fuzzer finds a crash, a leak, a timeout (1 s an
# input) or a memory blow-up (512 MiB); the findings are copied to
# fuzz-artifacts/. Seed files over FUZZ_SEED_MAX_KB (512) are left out: the
# few large real workbooks take more than the 1 s of an input under the
# sanitizers without anything being wrong (a 57 MB sheet, say); a long
# campaign takes them with a longer -timeout.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fuzzer=$1
seconds=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/tmp" "$work/seeds"
name=$(basename "$fuzzer")
folders=()
for d in "$@"; do [ -d "$d" ] && folders+=("$d"); done
# The parameter language's seeds are texts of its own, not workbooks.
if [ "$name" = parameters_fuzzer ]; then folders=("$here/seeds/parameters"); fi
n=0
for d in "${folders[@]}"; do
  while IFS= read -r -d '' f; do
    n=$((n + 1))
    ln -s "$(cd "$(dirname "$f")" && pwd)/$(basename "$f")" "$work/seeds/$n"
  done < <(find "$d" -type f -size -"$(( ${FUZZ_SEED_MAX_KB:-512} + 1 ))"k -print0)
done
case "$name" in
  xlsx_fuzzer) dicts=(xlsx) ;;
  xlsb_fuzzer) dicts=(xlsb xlsx) ;;
  xls_fuzzer | biff_fuzzer) dicts=(biff) ;;
  parameters_fuzzer) dicts=(parameters) ;;
  *) dicts=(xlsx xlsb biff) ;;
esac
for d in "${dicts[@]}"; do cat "$here/$d.dict"; echo; done > "$work/fuzzer.dict"
echo "fuzzing $name for ${seconds} s from $n seeds in ${#folders[@]} folders (dictionaries: ${dicts[*]})"
# A small quarantine of freed memory: AddressSanitizer's default 256 MiB would
# count against the 512 MiB that an input may take.
export ASAN_OPTIONS="quarantine_size_mb=32:${ASAN_OPTIONS:-}"
status=0
TMPDIR="$work/tmp" "$fuzzer" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=512 -max_len=4194304 \
  -dict="$work/fuzzer.dict" -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$work/seeds" \
  > "$work/log" 2>&1 || status=$?
grep -v '^tabrevo: ' "$work/log" | tail -n 15
if [ "$status" -ne 0 ]; then
  echo "fuzzer failed with status $status; artifacts:"
  ls -l "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null || true
  mkdir -p fuzz-artifacts && cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* fuzz-artifacts/ 2>/dev/null || true
  exit "$status"
fi
