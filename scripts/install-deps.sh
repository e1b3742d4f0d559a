#!/usr/bin/env bash
# Installs the Debian packages Tolvik needs, when they are missing.
#
#   scripts/install-deps.sh          what building and running the programs need
#   scripts/install-deps.sh --test   that, and the tools the tests use
set -euo pipefail

# Compiler, CMake, Ninja, Qt (with its platform plugins and a font to draw text with),
# GMime, chmlib for the help viewer and chmcmd (package fp-utils) to compile the manual.
build_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev fonts-dejavu-core
    libgmime-3.0-dev
    libchm-dev fp-utils-3.2.2
)

# clang with its fuzzing runtime (the fuzz targets), Python (the round-trip tests), an X
# server, window manager and X tools (the real window), MinGW binutils (the Windows
# resources), procmail's formail (mailbox splitting), AppStream, desktop-entry and Debian
# package tools with lintian and man (the install and package checks), strace (the order of
# the system calls that save a run's output).
test_packages=(
    clang libclang-rt-14-dev
    python3
    xvfb xdotool x11-utils imagemagick openbox wmctrl
    binutils-mingw-w64-x86-64
    procmail
    appstream desktop-file-utils dpkg-dev file lintian man-db
    strace
)

packages=("${build_packages[@]}")
case "${1:-}" in
"") ;;
--test) packages+=("${test_packages[@]}") ;;
*)
    echo "usage: $0 [--test]" >&2
    exit 2
    ;;
esac

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
