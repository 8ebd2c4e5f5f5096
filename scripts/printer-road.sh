#!/bin/bash
# The secure job's road at the reference printer:
#   scripts/printer-road.sh [JOBFILE] [OUTDIR]
# starts pinprint-printer on free loopback ports in a folder of its own, sends JOBFILE (a job as
# `drvhost print` writes it) to its raw port, lists the held jobs, gives a wrong PIN, then the
# right one, and leaves the held-jobs panel's screenshot (before the release) and the printed
# page as PNGs in OUTDIR (out/ by default). The user name comes from the job's USERNAME; the PIN
# is $PIN (1234 by default). Without JOBFILE it makes a stand-in job for "Ann Smith".
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/printer
printer="$build/pinprint-printer"
[ -x "$printer" ] || { echo "printer-road: build the printer first (make printer)" >&2; exit 1; }
outdir=${2:-out}
pin=${PIN:-1234}
mkdir -p "$outdir"
work=$(mktemp -d /tmp/pinprint-road-XXXXXX)
server=""
cleanup() {
    [ -z "$server" ] || { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT

job=${1:-}
if [ -z "$job" ]; then
    job="$work/stand-in.prn"
    "$build/tests/make_job" "$job" "Ann Smith" "Q3 report" "$pin"
fi
user=$(grep -a -o '@PJL SET USERNAME="[^"]*"' "$job" | head -n 1 | sed 's/.*="\(.*\)"/\1/')

free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}
ipp=$(free_port)
raw=$(free_port)
while [ "$raw" = "$ipp" ]; do raw=$(free_port); done

"$printer" server --spool "$work/spool" --output "$work/output" --ipp-port "$ipp" \
    --raw-port "$raw" 2>"$work/server.log" &
server=$!
for _ in $(seq 100); do
    [ -S "$work/spool/printer.sock" ] && break
    sleep 0.1
done

. scripts/print-command.sh
show() {
    print_command pinprint-printer "$@"
    "$printer" "$@" || true
}

show send "$job" --raw-port "$raw"
show held --spool "$work/spool"

encoded=""
for ((i = 0; i < ${#user}; i++)); do
    c=${user:i:1}
    case $c in [a-zA-Z0-9._-]) encoded+=$c ;; *) encoded+=$(printf '%%%02X' "'$c") ;; esac
done
profile="$work/chromium"
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --hide-scrollbars --window-size=900,420 \
    --screenshot="$outdir/held-panel.png" "http://127.0.0.1:$ipp/held?user=$encoded" \
    >/dev/null 2>&1
echo
echo "(the panel at http://127.0.0.1:$ipp/held, as $outdir/held-panel.png)"

show release --spool "$work/spool" --user "$user" --pin 0000
show release --spool "$work/spool" --user "$user" --pin "$pin"
for _ in $(seq 100); do
    pdf=$(ls "$work/output"/*.pdf 2>/dev/null | head -n 1) && [ -n "$pdf" ] && break
    sleep 0.1
done
echo
echo "\$ ls output/"
ls "$work/output"
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r60 -dFirstPage=1 -dLastPage=1 \
    -sOutputFile="$outdir/printed-page.png" "$pdf"
echo "(its first page as $outdir/printed-page.png)"
