# Cross build for 64-bit Windows with Debian's posix-thread MinGW-w64 compilers.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-target.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
