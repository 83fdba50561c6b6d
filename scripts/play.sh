#!/usr/bin/env bash
# Builds the plug-in and the console host, then starts the host: type a guess
# and read the plug-in's reply. /help lists the host's commands.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target miyi miyi-host
exec build/out/miyi-host "$@"
