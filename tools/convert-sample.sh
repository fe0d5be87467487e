#!/bin/sh
# Builds the program and converts the bundled sample workbook, in each
# format, into out/sample/<format>/, then shows every file written.
#   sh tools/convert-sample.sh
set -e
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
ninja -C build -j2 tabrevo >/dev/null
for workbook in tests/fixtures/sample/sample.*; do
  case "$workbook" in *.py) continue ;; esac
  format=${workbook##*.}
  folder=out/sample/$format
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "\$ build/tabrevo $workbook ./$folder"
  build/tabrevo "$workbook" "./$folder"
  for file in "$folder"/*; do
    echo "--- $file"
    cat "$file"
  done
  echo
done
