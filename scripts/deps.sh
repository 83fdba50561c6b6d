#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
#   scripts/deps.sh          packages for the Linux build and its tests
#   scripts/deps.sh windows  also the MinGW cross compilers, Wine and GoogleTest's
#                            sources for the Windows builds, and makes 32-bit
#                            programs runnable where the kernel cannot run them
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcurl4-openssl-dev)
if [[ "${1:-}" == windows ]]; then
  packages+=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686
             googletest wine wine32:i386 wine64 locales)
fi

# --- Koishi plug-in (koishi/): Node.js and npm, from Debian when the machine
# has none (a Node.js installed otherwise is kept as it is).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi
# --- end Koishi plug-in

sudo_if_needed() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }
can_be_root() { [[ $(id -u) -eq 0 ]] || sudo -n true 2>/dev/null; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
apt_install() {
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
  fi
  echo "Installing: ${missing[*]}"
  sudo_if_needed apt-get update -qq
  apt_install "${missing[@]}"
fi

[[ "${1:-}" == windows ]] || exit 0

# --- 32-bit programs, for 32-bit Wine.
#
# Some kernels have no IA-32 emulation: they refuse to start any 32-bit x86
# program, Wine's 32-bit loader among them. qemu-user, registered with
# binfmt_misc, runs such programs instead; it must be version 8 or later
# (older versions ignore MAP_FIXED_NOREPLACE, and Wine's start-up then spends
# many minutes reserving its address space and still fails). Debian ships no
# binfmt rule for i386 on amd64, so the interpreter is registered here. Where
# that cannot be done the 64-bit Windows build stays the one that is tested
# (scripts/test-windows.sh decides).

wine32_loader=/usr/lib/wine/wine           # a 32-bit x86 program of wine32:i386
binfmt=/proc/sys/fs/binfmt_misc
registration=$binfmt/qemu-i386
qemu_i386_rule=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F'

starts_32bit() { "$wine32_loader" --version >/dev/null 2>&1; }
qemu_recent() {
  local version
  version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null) || return 1
  installed qemu-user && dpkg --compare-versions "$version" ge 1:8
}
# A registration of ours that still runs an older qemu-i386 (flag F keeps the
# interpreter that was there when it was registered).
registered_qemu_is_old() {
  [[ -e $registration ]] && grep -qx enabled "$registration" && ! qemu_recent
}
cannot() {
  echo "-- $1: 32-bit programs cannot run here, so the Windows tests will run in the"
  echo "   64-bit build under 64-bit Wine."
  exit 0
}

if starts_32bit && ! registered_qemu_is_old; then exit 0; fi

echo "-- This kernel cannot start 32-bit x86 programs by itself: registering qemu-i386"
can_be_root || cannot "Registering an interpreter needs root (or sudo)"

if ! qemu_recent; then
  sudo_if_needed apt-get update -qq
  candidate=$(apt-cache policy qemu-user | awk '/Candidate:/ {print $2}')
  if [[ -n $candidate && $candidate != "(none)" ]] && dpkg --compare-versions "$candidate" ge 1:8; then
    apt_install qemu-user
  else
    # The release's own qemu is too old: take it from its backports, which
    # keep their low default priority, so nothing else is upgraded from them.
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [[ -n $codename ]] || cannot "No Debian release name in /etc/os-release"
    if ! grep -rqs -- "$codename-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
      mirror=$(awk '/^URIs:/ && $2 ~ /\/debian\/?$/ {print $2; exit}' \
                   /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
      [[ -n $mirror ]] || mirror=$(awk '$1 == "deb" && $2 ~ /\/debian\/?$/ {print $2; exit}' \
                                      /etc/apt/sources.list 2>/dev/null || true)
      mirror=${mirror:-http://deb.debian.org/debian}
      printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$mirror" "$codename" | sudo_if_needed tee /etc/apt/sources.list.d/backports.sources >/dev/null
      sudo_if_needed apt-get update -qq
    fi
    apt_install -t "$codename-backports" qemu-user ||
      cannot "qemu-user 8 or later could not be installed from $codename-backports"
  fi
fi

if [[ ! -e $binfmt/register ]]; then
  sudo_if_needed mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
    cannot "binfmt_misc cannot be mounted (no privilege for it in this container?)"
fi
if [[ -e $registration ]]; then
  # Registered before, with an older qemu or switched off: registered anew.
  echo -1 | sudo_if_needed tee "$registration" >/dev/null 2>&1 ||
    cannot "The old qemu-i386 registration cannot be removed"
fi
printf '%s\n' "$qemu_i386_rule" | sudo_if_needed tee "$binfmt/register" >/dev/null 2>&1 ||
  cannot "qemu-i386 cannot be registered with binfmt_misc"

if starts_32bit; then
  echo "-- 32-bit programs now start through $(/usr/bin/qemu-i386 --version | head -1)"
else
  cannot "Even through qemu-i386 a 32-bit program does not start"
fi
