#!/bin/sh
# Runs one Windows program under this build's shared Wine session (prefix and X display).
# CTest uses it as the cross-compiling emulator; it also works by hand:
#   tests/wine-run.sh build/mingw/bin/drvhost.exe devmode
# The sessions themselves (prefix, Xvfb, a persistent wineserver) are started by
# tests/wine-session.sh.
set -e
exe=$1
if [ -z "$WINEPREFIX" ]; then
    bin_dir=$(cd "$(dirname "$exe")" && pwd)
    build_dir=$(dirname "$bin_dir")
    export WINEPREFIX="$build_dir/wineprefix"
fi
session_env="$WINEPREFIX/../wine-session.env"
# CTest, given the sessions' resource file, names the session this test may use ("id:K,...").
session=${CTEST_RESOURCE_GROUP_0_WINE:-}
session=${session#id:}
session=${session%%,*}
if [ -n "$session" ] && [ -f "$session_env" ]; then
    . "$session_env"
    if [ "$session" != 1 ]; then
        eval "DISPLAY=\${DISPLAY_$session}"
        WINEPREFIX="$WINEPREFIX-$session"
    fi
    export DISPLAY WINEPREFIX
elif [ -z "$DISPLAY" ] && [ -f "$session_env" ]; then
    . "$session_env"
    export DISPLAY
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine=/usr/lib/wine/wine64
if [ "${PINPRINT_WINE_RETRY:-}" != 1 ]; then
    exec "$wine" "$@"
fi
# Under a loaded machine Wine now and then fails to start a process at all: it exits non-zero
# before the program prints a single byte. Such a start is tried once more; a program that ran
# and failed, or that printed anything, is never retried.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
"$wine" "$@" >"$out" 2>&1 || status=$?
if [ "$status" -ne 0 ] && [ ! -s "$out" ]; then
    echo "wine-run: $(basename "$exe") exited with $status before printing anything; starting it once more" >&2
    status=0
    "$wine" "$@" >"$out" 2>&1 || status=$?
fi
cat "$out"
exit "$status"
