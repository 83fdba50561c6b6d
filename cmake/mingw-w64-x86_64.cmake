# The same Windows sources for 64-bit Windows, with Debian's
# g++-mingw-w64-x86-64. Not what the robots load: it exists so that the
# Windows code runs under 64-bit Wine on machines that cannot execute 32-bit
# code at all (a kernel without IA-32 emulation), where 32-bit Wine cannot
# start.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MIYI_MINGW_TRIPLET x86_64-w64-mingw32)
set(MIYI_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
