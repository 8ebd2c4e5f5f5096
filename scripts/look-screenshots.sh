#!/bin/bash
# Captures both sheets in the looks of Windows 10 and 11, in English and Japanese, for
# docs/screenshots/:
#   scripts/look-screenshots.sh BUILD_DIR
# The Light visual style, a high-contrast scheme and 144 DPI (drvhost's --theme, --contrast and
# --dpi, which set the look for the sheet alone), in drvhost.exe, which carries a Common Controls 6
# manifest as most printing programs do; and the Light style once more in drvhost-classic.exe,
# a program without one. As in scripts/lang-screenshots.sh, each language is the user's UI
# language of its captures, and Japanese runs as on a Japanese system.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:?usage: scripts/look-screenshots.sh BUILD_DIR}
export WINEPREFIX="$(cd "$build_dir" && pwd)/wineprefix"  # also for programs outside bin/
printer="PinPrint Demo"
shots=docs/screenshots
locale_dir="$build_dir/locale"
printer_data="HKLM\\System\\CurrentControlSet\\Control\\Print\\Printers\\$printer\\PrinterDriverData"

tests/wine-session.sh start "$build_dir"
trap 'tests/wine-session.sh stop "$build_dir"' EXIT
sh tests/fixtures/locales/locale.sh build "$locale_dir"
tests/wine-run.sh "$build_dir/bin/drvhost.exe" install --printer "$printer" >/dev/null
tests/wine-run.sh reg add "$printer_data" /v VkDriverOptions /t REG_DWORD /d 257 /f >/dev/null

# capture HOST LANG prefs|props FILE [drvhost options]
capture() {
    local host=$1 lang=$2 sheet=$3 file=$4
    shift 4
    # The installed package carries every language: the UI language picks the pages and help.
    local run=(sh tests/fixtures/locales/locale.sh ui "$locale_dir" "$lang" tests/wine-run.sh)
    if [ "$lang" = ja ]; then
        run=(sh tests/fixtures/locales/locale.sh run "$locale_dir" tests/wine-run.sh)
    fi
    "${run[@]}" "$build_dir/bin/$host.exe" "$sheet" --printer "$printer" \
        --screenshot "$shots/$file" --close-after 1500 "$@" >/dev/null
    echo "$shots/$file"
}

# both_sheets HOST LANG SUFFIX LOOK...: the ticked secure-print page and the About page
both_sheets() {
    local host=$1 lang=$2 suffix=$3 name="Ann Smith" job="Payroll Q3"
    shift 3
    if [ "$lang" = ja ]; then
        name="Hanako Sato"
        job="Q3 report"
        suffix+="-ja"
    fi
    capture "$host" "$lang" prefs "prefs-secure$suffix.png" --secure-pin 1234 --user-name "$name" \
        --job-name "$job" "$@"
    capture "$host" "$lang" props "props$suffix.png" "$@"
}

for lang in en ja; do
    both_sheets drvhost "$lang" -light --theme light
    both_sheets drvhost "$lang" -hc --contrast high
    both_sheets drvhost "$lang" -144dpi --dpi 144
done
capture drvhost-classic en prefs prefs-secure-light-classic-host.png --secure-pin 1234 \
    --user-name "Ann Smith" --job-name "Payroll Q3" --theme light
