#!/bin/bash
# Installs what building and testing need on Debian, as root, without
# prompts. Does nothing when everything is there already.
#   scripts/install-deps.sh         build and test tools
#   scripts/install-deps.sh --run   also what the run command uses for screenshots
set -euo pipefail

packages=(cmake make g++ googletest mingw-w64 g++-mingw-w64-x86-64-posix
          g++-mingw-w64-i686-posix wine wine64 xvfb xauth python3
          clang libclang-rt-14-dev clang-tidy cppcheck)
if [ "${1:-}" = "--run" ]; then
    packages+=(imagemagick x11-utils fonts-wine)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}; run this script as root" >&2
    exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
