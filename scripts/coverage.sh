#!/bin/bash
# Line and branch coverage of the plug-in's own code under Wine:
#   scripts/coverage.sh     builds build/coverage with gcov instrumentation, runs the suite
#                           (without the soak and the fuzz smoke, with the full fault sweep),
#                           prints the coverage of every folder of the plug-in (module/,
#                           devmode/, config/, pages/, rules/, ticket/, render/, platform/) and of all
#                           of them, and writes the HTML report to out/coverage/index.html
# The counters are atomic: the threaded tests otherwise leave negative counts that gcovr refuses.
# Each program writes its .gcda files beside the objects, which it finds through the Z: drive
# because CTest starts it in the build folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/coverage"
out="$root/out/coverage"
cd "$root"

flags="--coverage -fprofile-update=atomic"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j2
find "$build" -name '*.gcda' -delete

tests/wine-session.sh start "$build"
status=0
PINPRINT_FAULTS=all PINPRINT_WINE_RETRY=1 ctest --test-dir "$build" --output-on-failure -E '^Soak\.|^fuzz_smoke$' ||
    status=$?
tests/wine-session.sh stop "$build"

rm -rf "$out"
mkdir -p "$out"
filters=()
folders="module devmode config pages rules ticket render platform"
for folder in $folders; do
    filters+=(--filter "$root/$folder/")
done
# Only the plug-ins' own objects are read (the static library and the DLLs' entries): the test
# programs compile the plug-in's headers too, and their copies of its templates and inline
# functions run test code, not the plug-in.
gcovr --root "$root" --object-directory "$build" --gcov-executable x86_64-w64-mingw32-gcov \
    "$build/CMakeFiles/pinprint_core.dir" "$build/package-build/CMakeFiles/pinprintui.dir" \
    "$build/package-build/CMakeFiles/pinprintps.dir" "${filters[@]}" \
    --exclude-throw-branches --exclude-unreachable-branches \
    --html-details "$out/index.html" --json-summary "$out/summary.json" \
    --txt "$out/coverage.txt" --print-summary >/dev/null
python3 - "$out/summary.json" $folders <<'EOF'
import collections, json, sys
folders = collections.OrderedDict((f, [0, 0, 0, 0]) for f in sys.argv[2:])
for entry in json.load(open(sys.argv[1]))["files"]:
    counts = folders[entry["filename"].split("/")[0]]
    counts[0] += entry["line_covered"]
    counts[1] += entry["line_total"]
    counts[2] += entry["branch_covered"]
    counts[3] += entry["branch_total"]
def share(covered, total):
    return f"{100.0 * covered / total:5.1f}% ({covered}/{total})" if total else "    -"
print(f"{'folder':10} {'lines':>22} {'branches':>22}")
totals = [0, 0, 0, 0]
for folder, c in folders.items():
    totals = [a + b for a, b in zip(totals, c)]
    print(f"{folder + '/':10} {share(c[0], c[1]):>22} {share(c[2], c[3]):>22}")
print(f"{'all':10} {share(totals[0], totals[1]):>22} {share(totals[2], totals[3]):>22}")
EOF
echo "coverage: uncovered lines in $out/coverage.txt, report in $out/index.html"
exit $status
