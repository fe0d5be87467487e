#!/bin/sh
# Runs a Windows program of the x64 build under Wine (the cross-compiling
# emulator of ctest). A new prefix asks nothing; 64-bit loader only.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Windows (message boxes, controls, the wizard) need an X display: without
# one, the program runs on a virtual one of its own.
if [ -z "$DISPLAY" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" /usr/lib/wine/wine64 "$@"
fi
exec /usr/lib/wine/wine64 "$@"
