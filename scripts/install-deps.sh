#!/bin/bash
# Installs the Debian packages the build, the demo and the tests need, only when one is missing,
# so that a warm machine starts at once. Needs root for apt-get; otherwise prints the command.
# Packages given as arguments are installed too.
set -euo pipefail
# Each package is used by something in the tree:
#   cmake, make                          the build (CMakePresets.json, Makefile)
#   *-mingw-w64-x86-64*                  the mingw preset's compilers, windres and headers; the
#                                        clang-mingw preset uses the same headers and runtime
#   wine64, xvfb                         the tests and the demo (tests/wine-session.sh)
#   googletest                           the test programs, built from /usr/src/googletest
#   clang-14, lld-14                     the clang-mingw preset (cmake/clang-mingw-toolchain.cmake)
#   libclang-rt-14-dev                   libFuzzer and the sanitizers of the fuzz targets (fuzz/run.sh)
#   fp-utils                             chmcmd, which compiles help/ into pinprint.chm
#   locales                              the ja_JP, de_DE and fr_FR sources the locale tests compile
#   python3                              scripts/brand.py, which reads the brand file for the build
#   fonts-ipafont-gothic, fonts-dejavu-core  the fonts Wine draws the Japanese and the Latin
#                                        pages with (tests/wine-session.sh sets the replacements)
#   g++, pkg-config, libpappl-dev, libcups2-dev  the reference printer, a native program on PAPPL
#                                        and the CUPS library (printer/CMakeLists.txt)
#   ghostscript                          its PostScript interpreter, the tests' text read-back, and
#                                        the renderer of the jobs drvhost prints (tests/job_road.sh)
#   cups-ipp-utils                       ipptool, the IPP client of the printer's tests
#   chromium, chromium-driver            the headless browser that tests the printer's panel and
#                                        takes its screenshot (tests/printer/panel_test.cpp)
# The versioned names keep the script and the build on clang 14 when Debian's default moves on.
packages=(
    cmake make
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine64 xvfb
    googletest
    clang-14 lld-14 libclang-rt-14-dev
    fp-utils
    locales python3
    fonts-ipafont-gothic fonts-dejavu-core
    g++ pkg-config libpappl-dev libcups2-dev ghostscript cups-ipp-utils chromium chromium-driver
)
packages+=("$@")  # what one target needs besides (make coverage: gcovr)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
command="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Run as root:" >&2
    echo "  apt-get update && $command" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
