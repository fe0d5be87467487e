#!/usr/bin/env bash
# A short fuzzing run: run_short.sh <fuzzer> <seconds> [seed folders...]
# New inputs go to a scratch folder; the seed folders are only read.
# Fails (non-zero) when the fuzzer finds a crash, a leak or a timeout.
set -euo pipefail
fuzzer=$1
seconds=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds=()
for d in "$@"; do [ -d "$d" ] && seeds+=("$d"); done
echo "fuzzing $(basename "$fuzzer") for ${seconds} s over ${#seeds[@]} seed folders"
"$fuzzer" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -max_len=4194304 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work" "${seeds[@]}" 2>&1 | tail -n 15
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "fuzzer failed with status $status; artifacts:"
  ls -l "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null || true
  mkdir -p fuzz-artifacts && cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* fuzz-artifacts/ 2>/dev/null || true
  exit "$status"
fi
