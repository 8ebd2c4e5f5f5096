#!/bin/bash
# Starts or stops the Wine sessions a test run shares:
#   tests/wine-session.sh start BUILD_DIR   creates the prefix once, starts Xvfb and a
#                                           persistent wineserver, and warms Wine up
#   tests/wine-session.sh start BUILD_DIR --use-display
#                                           the same on the display in $DISPLAY, no Xvfb
#   tests/wine-session.sh stop BUILD_DIR    ends them all
# With PINPRINT_WINE_SESSIONS=N (N > 1) it starts N sessions side by side, each a prefix, a
# wineserver and an Xvfb display of its own (sessions 2..N in copies of the first prefix,
# BUILD_DIR/wineprefix-K), and writes BUILD_DIR/wine-sessions.json, the CTest resources file
# (the mingw-sessions test preset's) that lets CTest run N Wine tests at once without one seeing
# another's printers, registry, focus or windows (tests/wine-run.sh picks the session).
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
sessions=${PINPRINT_WINE_SESSIONS:-1}

stop_session() {
    local prefix
    for prefix in "$WINEPREFIX" "$WINEPREFIX"-[0-9]*; do
        [ -d "$prefix" ] && WINEPREFIX="$prefix" "$wineserver" -k >/dev/null 2>&1 || true
    done
    if [ -f "$session_env" ]; then
        # shellcheck disable=SC1090
        . "$session_env"
        for pid in ${XVFB_PID:-} ${XVFB_PIDS:-}; do
            kill "$pid" >/dev/null 2>&1 || true
        done
        rm -f "$session_env"
    fi
    rm -f "$build_dir/wine-sessions.json"
}

# A free X display number, with Xvfb started on it; prints "NUMBER PID".
start_xvfb() {
    local n
    for n in $(seq 90 130); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
            local pid=$!
            for _ in $(seq 1 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && break
                sleep 0.1
            done
            echo "$n $pid"
            return 0
        fi
    done
    echo "wine-session: no free X display" >&2
    return 1
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

# The sessions start from the plain look that every test and screenshot expects: no visual style
# (a new Wine 8 prefix has the Light style on) and 96 DPI. Runs that show another look set it for
# the processes they start and put it back (tools/drvhost/look.h); this also undoes what an
# interrupted one left behind. Before the copies, so that they start so too.
section() { sed -n "/^\\[$1\\] /,/^\$/p" "$WINEPREFIX/user.reg"; }
if ! section 'Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\ThemeManager' | grep '^"ThemeActive"="0"' >/dev/null ||
    section 'Control Panel\\\\Desktop' | grep '^"LogPixels"=' >/dev/null; then
    "$wine" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d 0 /f \
        >/dev/null 2>&1 </dev/null
    "$wine" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 </dev/null || true
    "$wineserver" -w
fi

[ "${3:-}" = --use-display ] && sessions=1
# Each further session starts from a fresh copy of the first prefix (a second wineboot would take
# far longer), made while no wineserver has the first one open.
for k in $(seq 2 "$sessions"); do
    rm -rf "$WINEPREFIX-$k"
    cp -a "$WINEPREFIX" "$WINEPREFIX-$k"
done

if [ "${3:-}" = --use-display ]; then
    [ -n "${DISPLAY:-}" ] || { echo "wine-session: --use-display needs DISPLAY" >&2; exit 1; }
    printf 'DISPLAY=%s\nXVFB_PID=\n' "$DISPLAY" >"$session_env"
else
    read -r display_number xvfb_pid < <(start_xvfb)
    printf 'DISPLAY=:%s\nXVFB_PID=%s\n' "$display_number" "$xvfb_pid" >"$session_env"
    export DISPLAY=":$display_number"
fi
"$wineserver" -p >/dev/null 2>&1 </dev/null
"$wine" cmd /c exit >/dev/null 2>&1 </dev/null || true

if [ "$sessions" -gt 1 ]; then
    pids=""
    groups='{"id": "1", "slots": 1}'
    for k in $(seq 2 "$sessions"); do
        read -r number pid < <(start_xvfb)
        printf 'DISPLAY_%s=:%s\n' "$k" "$number" >>"$session_env"
        pids="$pids $pid"
        groups="$groups, {\"id\": \"$k\", \"slots\": 1}"
        export WINEPREFIX="$build_dir/wineprefix-$k" DISPLAY=":$number"
        "$wineserver" -p >/dev/null 2>&1 </dev/null
        "$wine" cmd /c exit >/dev/null 2>&1 </dev/null || true
    done
    export WINEPREFIX="$build_dir/wineprefix"
    printf 'XVFB_PIDS="%s"\n' "$pids" >>"$session_env"
    printf '{"version": {"major": 1, "minor": 0}, "local": [{"wine": [%s]}]}\n' "$groups" \
        >"$build_dir/wine-sessions.json"
fi
echo "wine-session: $sessions session(s) ready, prefix $WINEPREFIX"
