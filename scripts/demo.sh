#!/bin/bash
# Shows the plug-in working in the driver host:
#   scripts/demo.sh BUILD_DIR [en|ja|de|fr]
# installs the sample driver package (it carries every language) and a printer "PinPrint Demo"
# into the build's Wine prefix,
# runs printer initialization, shows the private devmode, and opens Printing Preferences and
# Printer Properties through compstui, then takes a secure job from the page through
# drvhost print to the reference printer (scripts/printer-road.sh): held, a wrong PIN refused,
# released with the right one. With a display (DISPLAY set) the sheets open on it and
# stay until you close them; headless they run under Xvfb, close themselves, and leave
# screenshots in out/ (named with the look and the language, other than the plain look and
# English). The sheets run with that language as the user's UI language, from which the plug-in
# picks its pages and help; Japanese runs as on a Japanese system (code page 932 too).
# Each sheet ends with the private devmode merged from what it edited.
#
# The look, from the environment (make demo theme=light contrast=high dpi=144, combinable):
#   PINPRINT_THEME=light      the Light visual style that Wine ships
#   PINPRINT_CONTRAST=high    a high-contrast colour scheme
#   PINPRINT_DPI=144          another DPI (144 is 150 %)
# passed to drvhost's sheets (--theme, --contrast, --dpi), which set the look for themselves and
# put it back when they end.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:?usage: scripts/demo.sh BUILD_DIR [en|ja|de|fr]}
lang=${2:-en}
case "$lang" in en|ja|de|fr) ;; *) echo "demo: the package has no language \"$lang\"" >&2; exit 1 ;; esac
drvhost="$build_dir/bin/drvhost.exe"
look=() suffix=""
[ -z "${PINPRINT_THEME:-}" ] || { look+=(--theme "$PINPRINT_THEME"); suffix+="-$PINPRINT_THEME"; }
[ -z "${PINPRINT_CONTRAST:-}" ] || { look+=(--contrast "$PINPRINT_CONTRAST"); suffix+="-hc"; }
[ -z "${PINPRINT_DPI:-}" ] || { look+=(--dpi "$PINPRINT_DPI"); suffix+="-${PINPRINT_DPI}dpi"; }
[ "$lang" = en ] || suffix+="-$lang"
locales=tests/fixtures/locales/locale.sh
sh "$locales" build "$build_dir/locale"
wine_run=(sh "$locales" ui "$build_dir/locale" "$lang" tests/wine-run.sh)
if [ "$lang" = ja ]; then
    wine_run=(sh "$locales" run "$build_dir/locale" tests/wine-run.sh)
fi
printer="PinPrint Demo"
close_after_ms=1500

. scripts/print-command.sh
run() {
    print_command drvhost "$@"
    "${wine_run[@]}" "$drvhost" "$@"
}

if [ -n "${DISPLAY:-}" ]; then
    interactive=1
    tests/wine-session.sh start "$build_dir" --use-display
else
    interactive=0
    tests/wine-session.sh start "$build_dir"
fi
trap 'tests/wine-session.sh stop "$build_dir"' EXIT

run install --printer "$printer"
run devmode
if [ "$interactive" = 1 ]; then
    echo
    echo "Printing Preferences opens first, then Printer Properties: close each to go on."
    run prefs --printer "$printer" "${look[@]}"
    run props --printer "$printer" "${look[@]}"
else
    mkdir -p out
    run prefs --printer "$printer" --screenshot "out/prefs$suffix.png" --close-after "$close_after_ms" \
        "${look[@]}"
    # The same page as a user leaves it: secure printing ticked, PIN 1234 and both names typed.
    run prefs --printer "$printer" --screenshot "out/prefs-secure$suffix.png" \
        --close-after "$close_after_ms" --secure-pin 1234 --user-name "Ann Smith" \
        --job-name "Payroll Q3" "${look[@]}"
    run props --printer "$printer" --screenshot "out/props$suffix.png" --close-after "$close_after_ms" \
        "${look[@]}"
    echo
    echo "Screenshots: out/prefs$suffix.png and out/prefs-secure$suffix.png (Printing Preferences),"
    echo "             out/props$suffix.png (Printer Properties)"
fi

# The secure job's road: the page sets secure printing with PIN 1234 and the names, drvhost
# prints the job through both plug-ins, and the reference printer takes it on its raw port, lists
# it under the user's name, refuses a wrong PIN and prints it for 1234.
mkdir -p out
echo
echo "The secure job's road, from the page to the printed page:"
run print --printer "$printer" --secure-pin 1234 --user-name "Ann Smith" --job-name "Q3 report" \
    --out out/q3.prn
run job out/q3.prn
echo
scripts/printer-road.sh out/q3.prn out
echo
echo "The road: out/q3.prn (the job), out/held-panel.png (the printer's panel with the held job),"
echo "          out/printed-page.png (the page the PIN released)"
