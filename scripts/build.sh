#!/usr/bin/env bash
# Installs what building needs and builds Tolvik into build/ (binaries in build/bin).
# Usage: scripts/build.sh [BUILD_DIR [CMAKE ARGS...]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
dir=${1:-"$root/build"}
shift || true
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
