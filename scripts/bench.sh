#!/usr/bin/env bash
# Builds the benchmarks in Release and prints their figures:
#   1. plugmain_bench: the game's commands end to end through the built
#      plug-in, on stores of 1 000, 10 000 and 100 000 accounts;
#   2. profile_bench: the platform's own profile functions on the same stores,
#      in the same order of calls, under 64-bit Wine with the locale
#      zh_CN.UTF-8 (code page 936); skipped where Wine or the MinGW-w64
#      compiler is missing (scripts/deps.sh windows installs both).
#
#   scripts/bench.sh [--sizes=1000,10000,100000] [plugmain_bench flags]
#   BENCH_WINE=0 scripts/bench.sh ...   # the plug-in only
#
# Nothing here is a test: the figures depend on the machine and its load.
# The stores are built once per size and cached in the build folders.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

sizes=1000,10000,100000
pass=()
for arg in "$@"; do
  case $arg in
    --sizes=*) sizes=${arg#--sizes=} ;;
    *) pass+=("$arg") ;;
  esac
done

echo "== plugmain_bench (Linux, Release)"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j "$jobs" --target plugmain_bench >/dev/null
build-bench/bench/plugmain/plugmain_bench --sizes="$sizes" \
  --benchmark_out=build-bench/plugmain_bench.json --benchmark_out_format=json "${pass[@]}"

wine64=/usr/lib/wine/wine64
command -v wine64 >/dev/null && wine64=$(command -v wine64)
if [[ ${BENCH_WINE:-1} == 0 ]]; then
  exit 0
elif [[ ! -x $wine64 ]] || ! command -v x86_64-w64-mingw32-g++-win32 >/dev/null; then
  echo "== profile_bench skipped: 64-bit Wine or MinGW-w64 is missing (scripts/deps.sh windows)"
  exit 0
fi

echo "== profile_bench (the platform's profile functions, 64-bit Wine)"
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf-\?8'; then
  if [[ $(id -u) -eq 0 ]]; then localedef -i zh_CN -f UTF-8 zh_CN.UTF-8; else sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8; fi
fi
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j "$jobs" --target profile_bench >/dev/null
export WINEPREFIX=$PWD/build-windows-x64/wine-prefix WINEARCH=win64
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  cmake/wine-run.sh wine64 wineboot -i >/dev/null 2>&1
fi
(cd build-windows-x64/bench && ../../cmake/wine-run.sh wine64 ./profile_bench.exe --sizes="$sizes")
