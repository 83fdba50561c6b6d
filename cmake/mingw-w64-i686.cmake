# The plug-in's own target: 32-bit Windows, as the robots' hosts are.
# Built with Debian's g++-mingw-w64-i686; programs run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MIYI_MINGW_TRIPLET i686-w64-mingw32)
set(MIYI_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
