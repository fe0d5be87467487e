#!/bin/sh
# Runs a Windows program of the x64 build under Wine (the cross-compiling
# emulator of ctest). A new prefix asks nothing; 64-bit loader only.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec /usr/lib/wine/wine64 "$@"
