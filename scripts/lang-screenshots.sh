#!/bin/bash
# Captures both sheets in every language of the package, for docs/screenshots/:
#   scripts/lang-screenshots.sh BUILD_DIR
# One installed package carries every language; each capture runs with that language as the
# user's UI language (tests/fixtures/locales/locale.sh ui), from which the plug-in picks its
# pages and help. Japanese runs as on a Japanese system (code page 932), so that the sheet
# around the page is Japanese too; its last capture types a Japanese user name, which needs the
# short-name option (0x2: any characters) on the printer.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:?usage: scripts/lang-screenshots.sh BUILD_DIR}
export WINEPREFIX="$(cd "$build_dir" && pwd)/wineprefix"  # also for programs outside bin/
drvhost="$build_dir/bin/drvhost.exe"
printer="PinPrint Demo"
shots=docs/screenshots
locale_dir="$build_dir/locale"
printer_data="HKLM\\System\\CurrentControlSet\\Control\\Print\\Printers\\$printer\\PrinterDriverData"

tests/wine-session.sh start "$build_dir"
trap 'tests/wine-session.sh stop "$build_dir"' EXIT
sh tests/fixtures/locales/locale.sh build "$locale_dir"
tests/wine-run.sh "$drvhost" install --printer "$printer" >/dev/null

# Wine keeps printer data in the registry, where the spooler reads it back.
set_options() {
    tests/wine-run.sh reg add "$printer_data" /v VkDriverOptions /t REG_DWORD /d "$1" /f >/dev/null
}

# capture LANG prefs|props FILE [drvhost options]
capture() {
    local lang=$1 sheet=$2 file=$3
    shift 3
    # The installed package carries every language: the UI language picks the pages and help.
    local run=(sh tests/fixtures/locales/locale.sh ui "$locale_dir" "$lang" tests/wine-run.sh)
    if [ "$lang" = ja ]; then
        run=(sh tests/fixtures/locales/locale.sh run "$locale_dir" tests/wine-run.sh)
    fi
    "${run[@]}" "$drvhost" "$sheet" --printer "$printer" \
        --screenshot "$shots/$file" --close-after 1500 "$@" >/dev/null
    echo "$shots/$file"
}

set_options 257
capture ja prefs prefs-ja.png --secure-pin 1234 --user-name "Hanako Sato" --job-name "Q3 report"
capture ja props props-ja.png
capture de prefs prefs-de.png --secure-pin 1234 --user-name "Anna Schmidt" --job-name "Gehaltsliste Q3"
capture de props props-de.png
capture fr prefs prefs-fr.png --secure-pin 1234 --user-name "Anne Martin" --job-name "Paie T3"
capture fr props props-fr.png
set_options 259
capture ja prefs prefs-ja-cp932.png --secure-pin 1234 --user-name "山田 太郎" --job-name "見積書 3 月分"
set_options 257

# The second brand's package (built beside the sample's by the mingw preset) in the same
# spooler, its sheets in two languages.
second="$build_dir/brands/kestrel/package"
if [ -d "$second" ]; then
    tests/wine-run.sh "$drvhost" install --printer "Kestrel Demo" --package "$second" >/dev/null
    printer="Kestrel Demo"
    capture de prefs kestrel-prefs-de.png --secure-pin 1234 --user-name "Anna Schmidt" \
        --job-name "Gehaltsliste Q3"
    capture de props kestrel-props-de.png
    capture ja prefs kestrel-prefs-ja.png --secure-pin 1234 --user-name "Hanako Sato" \
        --job-name "Q3 report"
    capture ja props kestrel-props-ja.png
fi
