#!/bin/bash
# Installs the Debian packages the build, the demo and the tests need, only when one is missing,
# so that a warm machine starts at once. Needs root for apt-get; otherwise prints the command.
# Packages given as arguments are installed too.
set -euo pipefail
packages=(
    cmake make python3
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine64 xvfb xauth
    googletest
    clang libclang-rt-14-dev
    fp-utils
    imagemagick
    locales
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
