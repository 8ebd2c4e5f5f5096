#!/bin/bash
# A vendor's driver package in one command:
#   scripts/package.sh [BRAND.ini]     (make package brand=PATH/brand.ini; default: the sample's)
# checks the brand file (one line naming the key when it is refused, and no package), builds
# the package from a clean build folder of its own (build/package/<stem>) with clang and lld,
# which write a PDB for each plug-in DLL, runs the package check on it under Wine, and leaves
#   out/package/<stem>/            the package, as it is signed and shipped
#   out/package/<stem>-symbols/    the PDBs, beside the package and never in it
# Then it shows that a function of the plug-in resolves from its PDB.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
brand=$(realpath "${1:-package/brand.ini}")
python3 scripts/brand.py check "$brand" || exit 1
stem=$(python3 -c 'import configparser,sys
p=configparser.ConfigParser(interpolation=None); p.optionxform=str
p.read(sys.argv[1], encoding="utf-8-sig"); print(p["Brand"]["FileStem"])' "$brand")
build="$root/build/package/$stem"
out="$root/out/package/$stem"
symbols="$out-symbols"

echo "Building the $stem package from $brand in $build"
# A build or check that fails leaves no package behind, not even an older one that looks current.
rm -rf "$build" "$out" "$symbols"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/clang-mingw-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPINPRINT_BRAND="$brand" -DPINPRINT_SYMBOLS=ON >/dev/null
cmake --build "$build" -j2 --target pinprint_package package_check drvhost >"$build/build.log" 2>&1 ||
    { grep -E -m 20 'error|Error' "$build/build.log" >&2; exit 1; }

tests/wine-session.sh start "$build" >/dev/null
trap 'tests/wine-session.sh stop "$build"' EXIT
(cd "$build/bin" && "$root/tests/wine-run.sh" ./package_check.exe "$build/package" "$brand" \
    "$root/package/brand.ini" "$build/sample-brand/logo.bmp")

mkdir -p "$out" "$symbols"
cp "$build"/package/* "$out/"
cp "$build/bin/${stem}ui.pdb" "$build/bin/${stem}ps.pdb" "$symbols/"

# A crash dump names an address in the DLL; the PDB turns it into a function and a line. The
# DLL names its PDB without a folder, so the symbols are found beside the reader.
echo "Symbols: a function of the plug-in resolved from its PDB"
for dll in "${stem}ui.dll" "${stem}ps.dll"; do
    rva=$(x86_64-w64-mingw32-objdump -p "$out/$dll" | awk '
        /Export Address Table --/ {t = 1; next} t && /\+base\[/ {gsub(/[][]/, ""); rva[$1] = $4}
        /Ordinal\/Name Pointer/ {n = 1; next} n && /DllGetClassObject/ && !done {gsub(/[][]/, ""); print rva[$1]; done = 1}')
    printf '  %s+0x%s (DllGetClassObject): ' "$dll" "$rva"
    resolved=$(cd "$symbols" && llvm-symbolizer-14 --obj="$out/$dll" --relative-address "0x$rva")
    echo "$resolved" | sed -n '1p;2s|.*/\([^/]*/[^/]*\)$|\1|p' | paste -sd' '
    # The export table names the function too; only the PDB knows its source line.
    case "$resolved" in DllGetClassObject*.cpp:[1-9]*) ;;
        *) echo "package: $dll does not resolve from its PDB" >&2; exit 1 ;; esac
done
echo
echo "Package: $out ($(ls "$out" | wc -l) files)"
ls "$out" | sed 's/^/  /'
echo "Symbols: $symbols"
ls "$symbols" | sed 's/^/  /'
