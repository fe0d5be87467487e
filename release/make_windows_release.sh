#!/bin/sh
# Makes the Windows release folder of a MinGW build, x64 or x86 (the
# architecture is the build's):
#   tabrevo.exe           the program (wizard and unattended mode)
#   tabrevo_d.dll         the library
#   tabrevo_d.h           its C header
#   tabrevo_d.def         its exports
#   libtabrevo_d.dll.a    import library for MinGW (gcc, clang)
#   tabrevo_d.lib         import library for Microsoft's linker, made from the
#                         .def with dlltool
#   wizards.chm           the wizard's help, when the build made it
#   README.txt
# Everything needs nothing beside it: the runtimes and zlib are linked in.
#   release/make_windows_release.sh BUILD_DIR [OUT_DIR]
# makes OUT_DIR/tabrevo-<version>-<x64|x86> (OUT_DIR: BUILD_DIR/release) and
# prints its path.
set -eu
source=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [OUT_DIR]" >&2; exit 2; }
build=$(cd "$1" && pwd)
cache=$build/CMakeCache.txt
[ -f "$cache" ] || { echo "$0: $build is no CMake build folder" >&2; exit 1; }

# The tools the build found name the target: x86_64-w64-mingw32-ar.
tool=$(sed -n 's/^CMAKE_AR:[A-Z]*=//p' "$cache")
triple=$(basename "$tool" | sed -n 's/^\(.*-w64-mingw32\)-.*/\1/p')
case "$triple" in
  x86_64-w64-mingw32) arch=x64 ;;
  i686-w64-mingw32) arch=x86 ;;
  *) echo "$0: $build is no Windows build (archiver $tool)" >&2; exit 1 ;;
esac
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$cache")

for f in tabrevo.exe library/tabrevo_d.dll library/libtabrevo_d.dll.a; do
  [ -f "$build/$f" ] || { echo "$0: $build/$f is missing: build the targets tabrevo and tabrevo_d" >&2; exit 1; }
done

out=$(mkdir -p "${2:-$build/release}" && cd "${2:-$build/release}" && pwd)/tabrevo-$version-$arch
rm -rf "$out"
mkdir -p "$out"
cp "$build/tabrevo.exe" "$build/library/tabrevo_d.dll" "$build/library/libtabrevo_d.dll.a" \
  "$source/library/tabrevo_d.h" "$out/"
# The build keeps its debugging information; the release does not.
"$triple-strip" --strip-all "$out/tabrevo.exe" "$out/tabrevo_d.dll"
if [ -f "$build/wizards.chm" ]; then cp "$build/wizards.chm" "$out/"; fi

# The .def: the 32-bit exports are __stdcall names whose @n decoration the
# DLL drops (the library's own .def); the 64-bit ones have no decoration.
if [ "$arch" = x86 ]; then
  cp "$source/library/tabrevo_d.def" "$out/tabrevo_d.def"
  kill_at=-k
else
  {
    echo "; Exports of the 64-bit tabrevo_d.dll."
    echo "LIBRARY tabrevo_d.dll"
    echo "EXPORTS"
    sed -n 's/^\( *Tabrevo_[A-Za-z]*\)@[0-9]*$/\1/p' "$source/library/tabrevo_d.def"
  } > "$out/tabrevo_d.def"
  kill_at=
fi
# The same names as the DLL's export table, or callers would fail to load it.
exports=$("$triple-objdump" -p "$out/tabrevo_d.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9][0-9]*\] //p' | sort)
listed=$(sed -n 's/^ *\(Tabrevo_[A-Za-z]*\).*/\1/p' "$out/tabrevo_d.def" | sort)
if [ "$exports" != "$listed" ]; then
  echo "$0: tabrevo_d.def lists $listed, the DLL exports $exports" >&2
  exit 1
fi
# shellcheck disable=SC2086
(cd "$out" && "$triple-dlltool" $kill_at -d tabrevo_d.def -D tabrevo_d.dll -l tabrevo_d.lib)

if [ "$arch" = x86 ]; then
  bits="32-bit (x86)"
  calling="__stdcall, exported under the undecorated names of tabrevo_d.def, so that VBA, VB6, Delphi and .NET find them"
else
  bits="64-bit (x64)"
  calling="the x64 calling convention"
fi
help_line="wizards.chm         the wizard's help (beside tabrevo.exe, where its ? buttons look for it)"
[ -f "$out/wizards.chm" ] || help_line="(this build has no wizards.chm: the ? buttons find no help)"
# Windows line ends.
sed 's/$/\r/' > "$out/README.txt" <<TEXT
tabrevo $version for Windows, $bits

tabrevo converts spreadsheet workbooks (.xls, .xlsx, .xlsm, .xlsb) into
delimited text: every sheet becomes a text file, one record per row, one
field per cell. Nothing needs installing: copy the folder anywhere.

tabrevo.exe         the program. Started without parameters it shows the
                    wizard; with parameters it presets the wizard or, with
                    /SILENT, converts without it:
                      tabrevo.exe C:\\Data\\book.xlsx C:\\Out /FIELDS=TAB /SILENT
                    The keywords are listed in the help (Command line
                    keywords).
$help_line
tabrevo_d.dll       the library: Tabrevo_Converter and Tabrevo_ConverterStr,
                    $calling.
tabrevo_d.h         its C header, with the parameters and result codes
tabrevo_d.def       its exports
tabrevo_d.lib       import library for Microsoft's linker (link.exe)
libtabrevo_d.dll.a  import library for MinGW (gcc, clang)

Calling the library from C:

  #include "tabrevo_d.h"
  char* parameters[] = {"app", "C:\\\\Data\\\\book.xlsx", "C:\\\\Out", "/FIELDS=TAB"};
  int32_t result = Tabrevo_Converter(0, 4, parameters);
  /* 0 converted, 1 no workbook, 2 no output, 3 a workbook or sheet unreadable */

  cl app.c tabrevo_d.lib
  gcc app.c -L. -ltabrevo_d
TEXT
echo "$out"
