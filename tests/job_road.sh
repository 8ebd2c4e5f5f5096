#!/bin/bash
# The whole road of a job, once each way: a PIN typed on the real page, a PIN given in a ticket,
# and a normal job, each printed by drvhost through both plug-ins. The secure jobs must carry
# exactly the envelope with the SHA-256 of the digits given; every job's PostScript must render
# in Ghostscript. Runs natively (CTest), with drvhost under the build's Wine session.
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
check() {  # name file text-on-page; the expected bytes in file.begin and file.end
    cmp -s -n "$(stat -c %s "$2.begin")" "$2.begin" "$2" || fail "$1: not the expected first bytes"
    cmp -s <(tail -c "$(stat -c %s "$2.end")" "$2") "$2.end" || fail "$1: not the expected last bytes"
    host job "$2" --postscript "$2.ps" >"$2.txt"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=txtwrite -sOutputFile="$2.page" "$2.ps" ||
        fail "$1: Ghostscript cannot render the PostScript"
    grep -q "$3" "$2.page" || fail "$1: the rendered page lacks \"$3\""
    echo "job road: $1: $(grep -E '^(Held|Not held|Refused)' "$2.txt" | tr -d '\r')"
}
host install --printer "PinPrint Jobs" >"$work/install.txt" || fail "drvhost install failed"

host print --printer "PinPrint Jobs" --secure-pin 2468 --user-name "Ann Smith" \
    --job-name "Q3 report" --out "$work/page.prn" >"$work/page.out" || fail "print from the page"
envelope "Ann Smith" "Q3 report" "$(printf 2468 | sha256sum | cut -c1-64)" >"$work/page.prn.begin"
printf '\033%%-12345X@PJL EOJ NAME="Q3 report"\r\n\033%%-12345X' >"$work/page.prn.end"
check "PIN typed on the page" "$work/page.prn" "Job name: Q3 report"

cat >"$work/ticket.xml" <<'XML'
<psf:PrintTicket xmlns:psf="http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework" xmlns:psk="http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:k="http://schemas.microsoft.com/windows/2013/05/printing/printschemakeywordsv11" xmlns:p="http://schemas.pinprint.example/2024/printing/securejob" version="1"><psf:Feature name="k:JobPasscode"><psf:Option name="psk:On"/></psf:Feature><psf:ParameterInit name="k:JobPasscodeString"><psf:Value xsi:type="xsd:string">5678</psf:Value></psf:ParameterInit><psf:ParameterInit name="p:UserName"><psf:Value xsi:type="xsd:string">Bob</psf:Value></psf:ParameterInit><psf:ParameterInit name="p:JobName"><psf:Value xsi:type="xsd:string">Budget</psf:Value></psf:ParameterInit></psf:PrintTicket>
XML
host print --printer "PinPrint Jobs" --ticket "$work/ticket.xml" --pages 2 --out "$work/ticket.prn" \
    >"$work/ticket.out" || fail "print from the ticket"
envelope Bob Budget "$(printf 5678 | sha256sum | cut -c1-64)" >"$work/ticket.prn.begin"
printf '\033%%-12345X@PJL EOJ NAME="Budget"\r\n\033%%-12345X' >"$work/ticket.prn.end"
check "PIN given in a ticket" "$work/ticket.prn" "Page 2 of 2"

host print --printer "PinPrint Jobs" --out "$work/plain.prn" >"$work/plain.out" || fail "print"
printf '%%!PS-Adobe-3.0\n' >"$work/plain.prn.begin"
printf '%%%%EOF\n' >"$work/plain.prn.end"
check "normal job" "$work/plain.prn" "Secure printing: off"
