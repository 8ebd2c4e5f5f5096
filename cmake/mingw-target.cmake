# What both cross builds share: 64-bit Windows on Debian's MinGW-w64 headers, libraries and
# windres, and Wine to run what they build. Included by the mingw and clang-mingw toolchains.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages too: the build machine's own GoogleTest (libgtest-dev) is no Windows library.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every test program runs under Wine through one wrapper that shares a prefix and a display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh)
