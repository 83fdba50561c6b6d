#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
#   scripts/deps.sh          packages for the Linux build and its tests
#   scripts/deps.sh windows  also the MinGW cross compilers, Wine and GoogleTest's
#                            sources for the Windows builds
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcurl4-openssl-dev)
if [[ "${1:-}" == windows ]]; then
  packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
             googletest wine wine32:i386 wine64 locales)
fi

# --- Koishi plug-in (koishi/): Node.js and npm, from Debian when the machine
# has none (a Node.js installed otherwise is kept as it is).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi
# --- end Koishi plug-in

sudo_if_needed() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
  fi
  echo "Installing: ${missing[*]}"
  sudo_if_needed apt-get update -qq
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
