#!/bin/sh
# Builds the program and converts the bundled sample workbook, in each
# format, into out/sample/<format>/, then shows every file written.
#   sh tools/convert-sample.sh
# On a machine without the build tools it first installs them
# (.ci/setup-deps). The build goes to build-sample/, without the tests.
set -e
cd "$(dirname "$0")/.."
if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null || ! command -v g++ >/dev/null ||
   [ ! -f /usr/include/zlib.h ]; then
  .ci/setup-deps
fi
if [ ! -f build-sample/build.ninja ]; then
  cmake -S . -B build-sample -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABREVO_BUILD_TESTS=OFF \
    -DTABREVO_BUILD_BENCH=OFF >/dev/null
fi
ninja -C build-sample -j2 tabrevo >/dev/null
for workbook in tests/fixtures/sample/sample.*; do
  case "$workbook" in *.py) continue ;; esac
  format=${workbook##*.}
  folder=out/sample/$format
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "\$ build-sample/tabrevo $workbook ./$folder"
  build-sample/tabrevo "$workbook" "./$folder" || echo "(exit code $?)"
  for file in "$folder"/*; do
    [ -f "$file" ] || continue
    echo "--- $file"
    cat "$file"
  done
  echo
done
