#!/usr/bin/env bash
# Installs what building and running need, builds Tolvik and starts its window; without a
# display, shows the command-line use instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo
    echo "There is no display to show Tolvik's window on (DISPLAY and WAYLAND_DISPLAY are not set)."
    echo "The same conversion runs without a window:"
    echo
    "$root/build/bin/tolvik-convert" --help
    exit 0
fi
exec "$root/build/bin/tolvik" "$@"
