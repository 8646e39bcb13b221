#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and is not there yet.
# Idempotent; works as root or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3
  libgtest-dev googletest
  g++-mingw-w64-x86-64-posix
  wine64 xvfb xauth x11-utils imagemagick fonts-symbola
  clang libclang-rt-14-dev clang-format
  openssl osslsigncode
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
