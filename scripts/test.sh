#!/usr/bin/env bash
# Builds and runs every test: the Linux build, the Koishi plug-in hosting
# it, the same build again with AddressSanitizer and UndefinedBehaviorSanitizer,
# and the 32-bit Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows
jobs=$(nproc)

echo "== Linux"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# --- Koishi plug-in (koishi/): its npm packages from the lock file, then its
# tests in a Koishi app, hosting the libmiyi.so just built in build/out.
echo "== Koishi plug-in"
(cd koishi && npm ci --no-audit --no-fund && npm test)
# --- end Koishi plug-in

echo "== Linux, AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMIYI_SANITIZE=ON \
      -DMIYI_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

if [[ -x scripts/test-windows.sh ]]; then
  echo "== 32-bit Windows under Wine"
  scripts/test-windows.sh
fi
