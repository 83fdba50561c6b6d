# What the two MinGW-w64 toolchain files share; each sets MIYI_MINGW_TRIPLET
# (the compiler's prefix) and MIYI_WINE_LOADER (the Wine program that runs
# its executables) and then includes this file.
#
# The posix-threads flavour of the compiler is used: its libstdc++ has
# std::thread and std::mutex, which the loopback test server needs; Debian's
# win32 flavour lacks them. Everything is linked statically (see the
# top-level CMakeLists.txt), so its winpthreads part is built into each
# program and nothing of the compiler is needed beside miyi.dll.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MIYI_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MIYI_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MIYI_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${MIYI_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump for PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${MIYI_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run through this wrapper, which picks the Wine prefix and
# the code page.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${MIYI_WINE_LOADER})
