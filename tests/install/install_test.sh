#!/bin/sh
# The Linux install as its users get it, in scratch folders only:
#  1. cmake --install into a DESTDIR: the program converts the sample
#     workbook, and a small C program built against the installed header and
#     library through pkg-config converts it the same way;
#  2. cpack -G DEB: the package declares its dependencies (zlib among them),
#     dpkg unpacks it into a scratch root with a dpkg database of its own,
#     and the program and the C program run from there.
# dpkg only unpacks (--unpack, not -i): configuring would run the package's
# ldconfig step chrooted into the scratch root, which holds no system to run
# it with; the programs find the library through LD_LIBRARY_PATH instead.
# Nothing is installed on the machine itself.
#   tests/install/install_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
workbook=$source/tests/fixtures/sample/sample.xlsx
# No activity log or settings of the user's are touched.
export XDG_DATA_HOME="$scratch/appdata" HOME="$scratch"

fail() {
  echo "install test: $*" >&2
  exit 1
}

# Checks the installed tree under $1 (its prefix, such as $root/usr): the
# program, the library's soname, and the C program through pkg-config.
check_tree() {
  name=$1 root=$2 prefix=$3
  tree=$root$prefix
  for f in bin/tabrevo include/tabrevo_d.h lib/libtabrevo_d.so lib/pkgconfig/tabrevo_d.pc share/man/man1/tabrevo.1; do
    [ -e "$tree/$f" ] || fail "$name: $prefix/$f is missing"
  done
  soname=$(objdump -p "$tree/lib/libtabrevo_d.so" | sed -n 's/^ *SONAME *//p')
  [ "$soname" = libtabrevo_d.so.0 ] || fail "$name: soname '$soname'"
  [ -e "$tree/lib/$soname" ] || fail "$name: no $soname beside the library"
  grep -q "^prefix=$prefix\$" "$tree/lib/pkgconfig/tabrevo_d.pc" || fail "$name: tabrevo_d.pc names another prefix"

  version=$("$tree/bin/tabrevo" --version)
  echo "$name: $version"
  case "$version" in "tabrevo "[0-9]*) ;; *) fail "$name: --version printed '$version'" ;; esac
  out=$scratch/$name
  mkdir -p "$out"
  "$tree/bin/tabrevo" "$workbook" "$out/program.csv" '/FIELDS=;' /RECORDS=LF || fail "$name: tabrevo failed"
  grep -q '^"Total";1363.85;$' "$out/program.csv" || fail "$name: unexpected output of tabrevo"

  # The sysroot puts the scratch root in front of the paths the .pc file
  # names, as for a cross build.
  flags=$(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$tree/lib/pkgconfig pkg-config --cflags --libs tabrevo_d) ||
    fail "$name: pkg-config does not find tabrevo_d"
  # shellcheck disable=SC2086
  ${CC:-cc} -std=c99 -Wall -Wextra -Werror -o "$out/convert_with_library" \
    "$source/tests/install/convert_with_library.c" $flags || fail "$name: the C program does not build"
  LD_LIBRARY_PATH=$tree/lib "$out/convert_with_library" "$workbook" "$out/library.csv" ||
    fail "$name: the C program failed"
  # It converts twice, the second time appending.
  cat "$out/program.csv" "$out/program.csv" > "$out/expected.csv"
  cmp "$out/expected.csv" "$out/library.csv" || fail "$name: the library wrote other text than the program"
}

# 1. cmake --install, into a DESTDIR.
DESTDIR=$scratch/install cmake --install "$build" --prefix /usr/local > "$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; fail "cmake --install failed"; }
check_tree "cmake --install" "$scratch/install" /usr/local

# 2. The Debian package.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$(ls "$scratch"/package/tabrevo_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb"), Depends: $depends"
case "$depends" in *zlib1g*) ;; *) fail "the package does not depend on zlib1g" ;; esac
if dpkg-deb -c "$deb" | grep -q '\.debug'; then fail "the package holds debugging files"; fi
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: > "$root/var/lib/dpkg/status"
# --force-depends: the scratch database knows none of the system's packages.
dpkg --root="$root" --log=/dev/null --force-not-root --force-depends --unpack "$deb" > "$scratch/dpkg.log" 2>&1 ||
  { cat "$scratch/dpkg.log"; fail "dpkg could not unpack the package"; }
dpkg --root="$root" -s tabrevo | grep -q '^Status: install ok unpacked' || fail "dpkg did not record the package"
# The package's binaries carry no debugging information.
if objdump -h "$root/usr/bin/tabrevo" | grep -q debug_info; then fail "the program in the package is not stripped"; fi
check_tree "package" "$root" /usr
echo "install test: passed"
