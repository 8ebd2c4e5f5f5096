#!/bin/bash
# Starts or stops the one Wine session a test run shares:
#   tests/wine-session.sh start BUILD_DIR   creates the prefix once, starts Xvfb and a
#                                           persistent wineserver, and warms Wine up
#   tests/wine-session.sh start BUILD_DIR --use-display
#                                           the same on the display in $DISPLAY, no Xvfb
#   tests/wine-session.sh stop BUILD_DIR    ends both
# Wine's background services must be running, with their output redirected, before CTest starts:
# otherwise they inherit CTest's pipes and CTest waits for them forever.
set -euo pipefail
action=${1:?start or stop}
build_dir=$(mkdir -p "${2:?build dir}" && cd "$2" && pwd)
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
session_env="$build_dir/wine-session.env"

stop_session() {
    "$wineserver" -k >/dev/null 2>&1 || true
    if [ -f "$session_env" ]; then
        # shellcheck disable=SC1090
        . "$session_env"
        [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
        rm -f "$session_env"
    fi
}

if [ "$action" = stop ]; then
    stop_session
    exit 0
fi

stop_session
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-session: creating the Wine prefix in $WINEPREFIX (once per build folder)"
    "$wine" wineboot -i >/dev/null 2>&1 </dev/null
    "$wineserver" -w
    # Undecorated, unmanaged windows give pixel-exact captures of the sheets.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    "$wineserver" -w
fi
# The Japanese pages ask for "MS UI Gothic", the Japanese shell font: IPAPGothic (Debian's
# fonts-ipafont-gothic, made to the metrics of the proportional MS Gothic) stands in for it.
# Tahoma is missing too, and Wine draws a missing font with the first font it links to, which
# would then be MS UI Gothic: DejaVu Sans keeps the other pages as Wine drew them before.
if ! grep -q '^"MS UI Gothic"="IPAPGothic"' "$WINEPREFIX/user.reg"; then
    replacements='HKCU\Software\Wine\Fonts\Replacements'
    "$wine" reg add "$replacements" /v Tahoma /d 'DejaVu Sans' /f >/dev/null 2>&1 </dev/null
    "$wine" reg add "$replacements" /v 'MS UI Gothic' /d IPAPGothic /f >/dev/null 2>&1 </dev/null
    "$wineserver" -w
fi

# The session starts from the plain look that every test and screenshot expects: no visual style
# (a new Wine 8 prefix has the Light style on) and 96 DPI. Runs that show another look set it for
# the processes they start and put it back (scripts/appearance.sh, tests/support/look.h); this
# also undoes what an interrupted one left behind.
section() { sed -n "/^\\[$1\\] /,/^\$/p" "$WINEPREFIX/user.reg"; }
if [ "$(section 'Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\ThemeManager' | grep '^"ThemeActive"=')" != '"ThemeActive"="0"' ]; then
    "$wine" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d 0 /f \
        >/dev/null 2>&1 </dev/null
    "$wineserver" -w
fi
if section 'Control Panel\\\\Desktop' | grep -q '^"LogPixels"='; then
    "$wine" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 </dev/null
    "$wineserver" -w
fi

if [ "${3:-}" = --use-display ]; then
    [ -n "${DISPLAY:-}" ] || { echo "wine-session: --use-display needs DISPLAY" >&2; exit 1; }
    printf 'DISPLAY=%s\nXVFB_PID=\n' "$DISPLAY" >"$session_env"
else
    display_number=""
    for n in $(seq 90 130); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            display_number=$n
            break
        fi
    done
    [ -n "$display_number" ] || { echo "wine-session: no free X display" >&2; exit 1; }
    Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    xvfb_pid=$!
    for _ in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$display_number" ] && break
        sleep 0.1
    done
    printf 'DISPLAY=:%s\nXVFB_PID=%s\n' "$display_number" "$xvfb_pid" >"$session_env"
    export DISPLAY=":$display_number"
fi

"$wineserver" -p >/dev/null 2>&1 </dev/null
"$wine" cmd /c exit >/dev/null 2>&1 </dev/null || true
echo "wine-session: ready on DISPLAY=$DISPLAY, prefix $WINEPREFIX"
