#!/bin/sh
# The Windows release folder of a MinGW build, made into a scratch folder by
# release/make_windows_release.sh: it holds every file, its .def matches the
# DLL, and a C program built with MinGW against the folder's header and each
# of its two import libraries converts the sample workbook through the
# released DLL. x64: the programs run under Wine from the release folder and
# must write what the released tabrevo.exe writes; x86: built and linked
# only (this machine runs no 32-bit code).
#   tests/install/windows_release_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
workbook=$source/tests/fixtures/sample/sample.xlsx

fail() {
  echo "windows release test: $*" >&2
  exit 1
}

release=$(sh "$source/release/make_windows_release.sh" "$build" "$scratch/release") || fail "the release script failed"
echo "release folder: $(basename "$release")"
case "$release" in
  *-x64) triple=x86_64-w64-mingw32 run=yes ;;
  *-x86) triple=i686-w64-mingw32 run=no ;;
  *) fail "unknown architecture: $release" ;;
esac
for f in tabrevo.exe tabrevo_d.dll tabrevo_d.h tabrevo_d.def tabrevo_d.lib libtabrevo_d.dll.a README.txt; do
  [ -s "$release/$f" ] || fail "$f is missing"
done
if [ -f "$build/wizards.chm" ] && [ ! -f "$release/wizards.chm" ]; then fail "wizards.chm is missing"; fi
for f in tabrevo.exe tabrevo_d.dll; do
  if "$triple-objdump" -h "$release/$f" | grep -q debug_info; then fail "$f is not stripped"; fi
done
grep -q "$(basename "$release" | sed 's/^tabrevo-\([^-]*\)-.*/\1/')" "$release/README.txt" || fail "README.txt names no version"

cc=$triple-gcc
command -v "$cc" > /dev/null 2>&1 || cc=$triple-gcc-posix

# The MSVC-style import library names the DLL and both functions.
"$triple-objdump" -a "$release/tabrevo_d.lib" > /dev/null || fail "tabrevo_d.lib is no archive"
symbols=$("$triple-nm" "$release/tabrevo_d.lib" 2>/dev/null)
for name in Tabrevo_Converter Tabrevo_ConverterStr; do
  echo "$symbols" | grep -q "__imp__*$name\(@[0-9]*\)*\$" || fail "tabrevo_d.lib does not import $name"
done

for lib in libtabrevo_d.dll.a tabrevo_d.lib; do
  "$cc" -std=c99 -Wall -Wextra -Werror -static-libgcc -I"$release" -o "$scratch/convert_$lib.exe" \
    "$source/tests/install/convert_with_library.c" "$release/$lib" || fail "the C program does not link with $lib"
done
[ "$run" = yes ] || { echo "windows release test: passed (built and linked; not run)"; exit 0; }

export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
# The programs find tabrevo_d.dll in the release folder, their working
# folder and the search path (no copy of it lies beside them).
cd "$release"
export WINEPATH="Z:$release"
timeout 120 "$wine" tabrevo.exe "Z:$workbook" "Z:$scratch/program.csv" '/FIELDS=;' /RECORDS=LF /SILENT ||
  fail "the released tabrevo.exe failed"
grep -q '^"Total";1363.85;$' "$scratch/program.csv" || fail "unexpected output of tabrevo.exe"
cat "$scratch/program.csv" "$scratch/program.csv" > "$scratch/expected.csv"
for lib in libtabrevo_d.dll.a tabrevo_d.lib; do
  timeout 120 "$wine" "Z:$scratch/convert_$lib.exe" "Z:$workbook" "Z:$scratch/library_$lib.csv" \
    > "$scratch/convert.out" || { cat "$scratch/convert.out"; fail "the C program linked with $lib failed"; }
  cmp "$scratch/expected.csv" "$scratch/library_$lib.csv" || fail "the DLL wrote other text than the program ($lib)"
done
echo "windows release test: passed"
