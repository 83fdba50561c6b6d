#!/usr/bin/env bash
# Runs a program of a Windows build under Wine: the emulator that CMake and
# CTest put in front of every test program of those builds.
#   wine-run.sh wine|wine64 program.exe [arguments]
#
# The Wine prefix is $WINEPREFIX (the CTest presets and
# scripts/test-windows.sh set it to one inside the build folder). The locale
# zh_CN.UTF-8 makes Wine's ANSI code page 936 (GBK), the robots' code page,
# so GBK file names on the Windows side are the same UTF-8 names on disk as
# on Linux.
set -euo pipefail
loader=$1
shift
: "${WINEPREFIX:?set WINEPREFIX to a Wine prefix inside the build folder, as scripts/test-windows.sh does}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
unset DISPLAY WAYLAND_DISPLAY
# Debian keeps the 64-bit loader out of PATH.
if [[ $loader == wine64 ]] && ! command -v wine64 >/dev/null; then
  loader=/usr/lib/wine/wine64
fi
exec "$loader" "$@"
