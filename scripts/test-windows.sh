#!/usr/bin/env bash
# Builds miyi.dll for 32-bit Windows with MinGW-w64, checks what a robot's
# host sees of it (exports, calling convention, imports), and runs the
# Windows tests under Wine. Exits non-zero on any failure; its last lines
# say which build was tested.
#   scripts/test-windows.sh        the 32-bit build's tests wherever they run
#   scripts/test-windows.sh x64    and also the same tests in the 64-bit build
#
# The tests run in the 32-bit build, the one the robots load, under 32-bit
# Wine wherever this machine runs 32-bit x86 programs: natively, or through
# qemu-i386 where the kernel cannot (scripts/deps.sh windows sets that up
# when it can). Whether it does is asked of Wine itself: a small 32-bit
# program of the build must run in the 32-bit prefix. Where it cannot, the
# same sources are built for 64-bit Windows and the tests run under 64-bit
# Wine instead, and the script says so. The 32-bit DLL is built and checked
# either way.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
also_x64=false
[[ "${1:-}" == x64 ]] && also_x64=true

sudo_if_needed() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

scripts/deps.sh windows

# Wine takes its ANSI code page from the locale: zh_CN.UTF-8 gives 936.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf-\?8'; then
  sudo_if_needed localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

build_windows() {  # preset
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

# The Wine prefix of a build and a wine server for it that stays up (-p)
# until the script ends: each test program then starts in about a second
# instead of starting a server and the prefix's services of its own first.
# A prefix that cannot be made in 5 minutes is given up and removed.
servers=()
stop_servers() {
  local prefix
  for prefix in "${servers[@]}"; do WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; done
}
trap stop_servers EXIT
start_wine() {  # build folder, wine|wine64
  export WINEPREFIX=$PWD/$1/wine-prefix
  [[ " ${servers[*]} " == *" $WINEPREFIX "* ]] && return 0
  mkdir -p "$WINEPREFIX"
  wineserver -p
  servers+=("$WINEPREFIX")
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "-- Wine prefix $WINEPREFIX"
    if ! timeout 300 cmake/wine-run.sh "$2" wineboot -i >/dev/null 2>&1; then
      wineserver -k 2>/dev/null || true
      rm -rf "$WINEPREFIX"
      return 1
    fi
  fi
}

run_tests() {  # preset, build folder, wine|wine64, WINEARCH
  export WINEARCH=$4
  start_wine "$2" "$3"
  echo "-- Windows tests under Wine ($1)"
  ctest --preset "$1" -j "$jobs"
}

echo "-- 32-bit miyi.dll"
build_windows windows
cmake -DOBJDUMP=i686-w64-mingw32-objdump -DDLL=build-windows/out/miyi.dll \
      -P tests/win32/check_dll.cmake

export WINEARCH=win32
probe=""
if start_wine build-windows wine; then
  probe=$(timeout 120 cmake/wine-run.sh wine build-windows/tests/win32/wine_probe.exe 2>/dev/null |
          tr -d '\r' || true)
fi
if [[ $probe == "32-bit, code page 936" ]]; then
  run_tests windows build-windows wine win32
  tested="the 32-bit build (build-windows, miyi.dll as the robots load it) under 32-bit Wine"
else
  echo "-- 32-bit Wine cannot run the build's programs here (the probe gave \"${probe:-nothing}\"):"
  echo "   the Windows tests run in the 64-bit build of the same sources under 64-bit Wine."
  also_x64=false
  build_windows windows-x64
  run_tests windows-x64 build-windows-x64 wine64 win64
  tested="the 64-bit build (build-windows-x64) under 64-bit Wine; the 32-bit miyi.dll was built and checked, not run"
fi
if $also_x64; then
  build_windows windows-x64
  run_tests windows-x64 build-windows-x64 wine64 win64
  tested="$tested, and the 64-bit build (build-windows-x64) under 64-bit Wine"
fi
echo "-- Windows tests passed: $tested."
