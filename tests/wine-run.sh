#!/bin/sh
# Runs one Windows program under this build's shared Wine session (prefix and X display).
# CTest uses it as the cross-compiling emulator; it also works by hand:
#   tests/wine-run.sh build/mingw/bin/drvhost.exe devmode
# The session itself (prefix, Xvfb, a persistent wineserver) is started by tests/wine-session.sh.
set -e
exe=$1
if [ -z "$WINEPREFIX" ]; then
    bin_dir=$(cd "$(dirname "$exe")" && pwd)
    build_dir=$(dirname "$bin_dir")
    export WINEPREFIX="$build_dir/wineprefix"
fi
session_env="$WINEPREFIX/../wine-session.env"
if [ -z "$DISPLAY" ] && [ -f "$session_env" ]; then
    . "$session_env"
    export DISPLAY
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec /usr/lib/wine/wine64 "$@"
