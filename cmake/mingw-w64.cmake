# What the two MinGW-w64 toolchain files share; each sets MIYI_MINGW_TRIPLET
# (the compiler's prefix) and MIYI_WINE_LOADER (the Wine program that runs
# its executables) and then includes this file.
#
# The win32-threads flavour of the compiler is used. In the posix flavour,
# the runtime linked into miyi.dll (libgcc's registration of the exception
# tables, at every load) calls into winpthreads, which takes a TLS index
# that nothing gives back: a host that unloads and reloads the plug-in
# aborts after about 1 084 reloads. The win32 flavour's runtime takes no
# TLS index of its own; the plug-in's only per-thread data lives in
# platform/thread_value.h, which gives its index back at unload. This GCC's
# win32 flavour has no std::thread or std::mutex: the test programs use
# POSIX threads (tests/thread.h), which MinGW-w64 ships as winpthreads.
# Everything is linked statically (see the top-level CMakeLists.txt), so
# nothing of the compiler is needed beside miyi.dll.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MIYI_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MIYI_MINGW_TRIPLET}-g++-win32)
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
