#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tolvik needs, when they are missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git python3
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgmime-3.0-dev
    libchm-dev fp-utils-3.2.2
    clang libclang-rt-14-dev clang-format
    xvfb xdotool x11-utils imagemagick fonts-dejavu-core openbox wmctrl
    binutils-mingw-w64-x86-64
    appstream desktop-file-utils dpkg-dev file
    procmail
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
