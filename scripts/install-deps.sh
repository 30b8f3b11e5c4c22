#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tool and its tests need,
# and only those that are missing. Uses sudo when not run as root.
# With --build-only: just what building and running the tool takes.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libx11-dev
  libasound2-dev libudev-dev libftdi1-dev
  libgtest-dev
  fonts-paratype
)
[[ ${1:-} == --build-only ]] || packages+=(
  xvfb xauth
  dbus at-spi2-core python3-pyatspi gir1.2-atspi-2.0
  qemu-system-x86 busybox-static
  dpkg-dev desktop-file-utils
  clang libclang-rt-14-dev clang-tidy valgrind
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}"
