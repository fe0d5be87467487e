# The Debian package of the Linux install (cpack -G DEB in the build folder):
# the program, its manual page, the library with its header and pkg-config
# file, under /usr. Its dependencies (the C and C++ runtimes, zlib) are read
# from the binaries by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_PACKAGE_NAME tabrevo)
set(CPACK_PACKAGE_VENDOR "tabrevo")
set(CPACK_PACKAGE_CONTACT "tabrevo maintainers <tabrevo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert spreadsheet workbooks into delimited text")
set(CPACK_PACKAGE_DESCRIPTION
    "tabrevo writes every sheet of a workbook (.xls, .xlsx, .xlsm, .xlsb) as delimited text, one record per row and one field per cell. The package holds the command-line program and the shared library tabrevo_d with its C header and pkg-config file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The build keeps its debugging information; the package does not.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shared library in /usr/lib: a shlibs file for packages built against it
# and the ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_GENERATOR DEB)
include(CPack)
