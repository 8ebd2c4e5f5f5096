#!/bin/bash
# The whole road of a job, once each way: a PIN typed on the real page (once with names beyond
# ASCII), a PIN given in a ticket, and a normal job, each printed by drvhost through both
# plug-ins. The secure jobs must carry exactly the envelope with the SHA-256 of the digits
# given; every job's PostScript must render in Ghostscript. Runs natively (CTest), with drvhost
# under the build's Wine session.
set -euo pipefail
build=$(cd "${1:?build dir}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work="$build/job-road"
rm -rf "$work" && mkdir -p "$work"
host() { "$here/wine-run.sh" "$build/bin/drvhost.exe" "$@"; }
fail() { echo "job road: $*" >&2; exit 1; }
envelope() {  # user job digest
    printf '\033%%-12345X@PJL\r\n@PJL JOB NAME="%s"\r\n@PJL SET USERNAME="%s"\r\n@PJL SET JOBNAME="%s"\r\n@PJL SET HOLD=ON\r\n@PJL SET HOLDTYPE=PRIVATE\r\n@PJL SET HOLDKEYDIGEST="%s"\r\n@PJL SET QTY=1\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n' "$2" "$1" "$2" "$3"
}
# check NAME FILE PAGE-TEXT [USER JOB PIN]: the job's first and last bytes (the envelope with
# the PIN's digest, or PostScript alone), its PostScript rendered, PAGE-TEXT on the page.
check() {
    if [ $# -gt 3 ]; then
        envelope "$4" "$5" "$(printf %s "$6" | sha256sum | cut -c1-64)" >"$2.begin"
        printf '\033%%-12345X@PJL EOJ NAME="%s"\r\n\033%%-12345X' "$5" >"$2.end"
    else
        printf '%%!PS-Adobe-3.0\n' >"$2.begin" && printf '%%%%EOF\n' >"$2.end"
    fi
    cmp -s -n "$(stat -c %s "$2.begin")" "$2.begin" "$2" || fail "$1: not the expected first bytes"
    cmp -s <(tail -c "$(stat -c %s "$2.end")" "$2") "$2.end" || fail "$1: not the expected last bytes"
    host job "$2" --postscript "$2.ps" >"$2.txt"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=txtwrite -sOutputFile="$2.page" "$2.ps" ||
        fail "$1: Ghostscript cannot render the PostScript"
    grep -q "$3" "$2.page" || fail "$1: the rendered page lacks \"$3\""
    echo "job road: $1: $(grep -E '^(Held|Not held|Refused)' "$2.txt" | tr -d '\r')"
}
host install --printer "PinPrint Jobs" >"$work/install.txt"

host print --printer "PinPrint Jobs" --secure-pin 2468 --user-name "Ann Smith" \
    --job-name "Q3 report" --out "$work/page.prn" >"$work/page.out"
check "PIN typed on the page" "$work/page.prn" "Job name: Q3 report" "Ann Smith" "Q3 report" 2468

cat >"$work/ticket.xml" <<'XML'
<psf:PrintTicket xmlns:psf="http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework" xmlns:psk="http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:k="http://schemas.microsoft.com/windows/2013/05/printing/printschemakeywordsv11" xmlns:p="http://schemas.pinprint.example/2024/printing/securejob" version="1"><psf:Feature name="k:JobPasscode"><psf:Option name="psk:On"/></psf:Feature><psf:ParameterInit name="k:JobPasscodeString"><psf:Value xsi:type="xsd:string">5678</psf:Value></psf:ParameterInit><psf:ParameterInit name="p:UserName"><psf:Value xsi:type="xsd:string">Bob</psf:Value></psf:ParameterInit><psf:ParameterInit name="p:JobName"><psf:Value xsi:type="xsd:string">Budget</psf:Value></psf:ParameterInit></psf:PrintTicket>
XML
host print --printer "PinPrint Jobs" --ticket "$work/ticket.xml" --pages 2 --out "$work/ticket.prn" \
    >"$work/ticket.out"
check "PIN given in a ticket" "$work/ticket.prn" "Page 2 of 2" Bob Budget 5678

# Names that PostScript and PJL must both carry intact: parentheses and a letter beyond ASCII.
host print --printer "PinPrint Jobs" --secure-pin 1357 --user-name "Zoë (Ops)" \
    --job-name "Q3 (draft) [v2]" --out "$work/names.prn" >"$work/names.out"
check "names beyond ASCII, with parentheses" "$work/names.prn" "Job name: Q3 (draft) \[v2\]" \
    "Zoë (Ops)" "Q3 (draft) [v2]" 1357

host print --printer "PinPrint Jobs" --out "$work/plain.prn" >"$work/plain.out"
check "normal job" "$work/plain.prn" "Secure printing: off"

# The page's secure job at the reference printer, as the raw port receives the file: held under
# its user name, a wrong PIN refused, the right one printing it (scripts/printer-road.sh).
root=$(cd "$here/.." && pwd)
[ -x "$root/build/printer/pinprint-printer" ] || fail "no reference printer: make printer first"
PIN=2468 "$root/scripts/printer-road.sh" "$work/page.prn" "$work/printer" >"$work/printer.txt" 2>&1 ||
    { cat "$work/printer.txt"; fail "the printer's road failed"; }
for expected in '^held [0-9]' 'Ann Smith +Q3 report +1 ' 'Wrong PIN\. 4 tries left\.' \
    'Released 1 job of Ann Smith: "Q3 report"' 'Q3 report\.pdf'; do
    grep -Eq "$expected" "$work/printer.txt" || { cat "$work/printer.txt"; fail "the printer: no \"$expected\""; }
done
[ -s "$work/printer/printed-page.png" ] || fail "the printer printed no page"
echo "job road: at the printer: held, a wrong PIN refused, released with 2468, printed"
