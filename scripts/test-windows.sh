#!/usr/bin/env bash
# Builds miyi.dll for 32-bit Windows with MinGW-w64, checks what a robot's
# host sees of it (exports, calling convention, imports), and runs the
# Windows tests under Wine. Exits non-zero on any failure.
#
# The tests run in the 32-bit build under 32-bit Wine wherever this machine
# can execute 32-bit x86 code. A kernel without IA-32 emulation cannot (its
# execve refuses 32-bit programs, Wine's 32-bit loader among them); there
# the same sources are built for 64-bit Windows and the tests run under
# 64-bit Wine instead, and the script says so. The 32-bit DLL is built and
# checked either way.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

sudo_if_needed() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

scripts/deps.sh windows

# Wine takes its ANSI code page from the locale: zh_CN.UTF-8 gives 936.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf-\?8'; then
  sudo_if_needed localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

echo "-- 32-bit miyi.dll"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
cmake -DOBJDUMP=i686-w64-mingw32-objdump -DDLL=build-windows/out/miyi.dll \
      -P tests/win32/check_dll.cmake

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  preset=windows
  export WINEARCH=win32
else
  echo "-- This machine cannot execute 32-bit x86 programs (no IA-32 emulation in its"
  echo "   kernel), so 32-bit Wine cannot start: the Windows tests run in the 64-bit"
  echo "   build of the same sources under 64-bit Wine."
  preset=windows-x64
  export WINEARCH=win64
  cmake --preset windows-x64 >/dev/null
  cmake --build --preset windows-x64 -j "$jobs"
fi

if [[ $preset == windows ]]; then
  build=build-windows loader=wine
else
  build=build-windows-x64 loader=wine64
fi
export WINEPREFIX=$PWD/$build/wine-prefix
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "-- Wine prefix $WINEPREFIX"
  cmake/wine-run.sh "$loader" wineboot -i >/dev/null 2>&1
fi

echo "-- Windows tests under Wine ($preset)"
ctest --preset "$preset" -j "$jobs"
