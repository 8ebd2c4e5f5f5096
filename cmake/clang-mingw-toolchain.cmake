# Cross build for 64-bit Windows with Debian's clang 14 and lld, on the same MinGW-w64 headers,
# C runtime and posix-thread libstdc++ as the mingw preset: a second compiler over the same code.
# The versioned names keep it on clang 14 when Debian's default clang moves on.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-target.cmake)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)

# clang finds MinGW's C headers and libraries but not GCC's libstdc++: take the posix-thread
# one that the mingw preset uses (the newest, should there be more than one).
file(GLOB gcc_dirs /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
list(SORT gcc_dirs COMPARE NATURAL ORDER DESCENDING)
list(GET gcc_dirs 0 gcc_dir)
set(CMAKE_CXX_FLAGS_INIT
  "-isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/x86_64-w64-mingw32")
# lld 14 by its versioned name, which Debian's lld-14 package always has. The static libstdc++
# needs winpthread; lld resolves it wherever it stands on the line.
find_program(PINPRINT_LLD NAMES ld.lld-14 REQUIRED)
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
    "-fuse-ld=lld --ld-path=${PINPRINT_LLD} -L${gcc_dir} -lwinpthread")
endforeach()
