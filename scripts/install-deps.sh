#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Vortalis
# need, and only those that are missing. Safe to run again; runs apt-get as
# root directly and through sudo otherwise.
set -euo pipefail

packages=(
  cmake make g++ pkg-config python3
  zlib1g-dev libpng-dev libjpeg-dev libtinyxml-dev libglew-dev libsdl2-dev libimgui-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  lua5.4 liblua5.4-dev duktape duktape-dev
  xvfb xauth libgl1-mesa-dri mesa-utils
  clang clang-format libclang-rt-14-dev valgrind git ccache
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
