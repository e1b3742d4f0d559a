#!/usr/bin/env bash
# The window program where it cannot open a window: without a display, or with one that
# cannot be reached, it says so in one line that points to tolvik-convert and exits 1 instead
# of aborting; --help and --version need no display.
#
#   bash tests/e2e_no_display.sh BIN_DIR SOURCE_ROOT
set -u
program="$(cd "$1" && pwd)/tolvik"
. "$(dirname "$0")/checks.sh"

# An X display number that no server listens on.
free_display=4093
while [[ -e /tmp/.X11-unix/X$free_display || -e /tmp/.X$free_display-lock ]]; do
    free_display=$((free_display + 1))
done

# name | environment for the program | what the line must say about the display
cases=(
    "no display set|DISPLAY= WAYLAND_DISPLAY=|none is set (DISPLAY and WAYLAND_DISPLAY are empty)"
    "no display variables at all|-u DISPLAY -u WAYLAND_DISPLAY|none is set (DISPLAY and WAYLAND_DISPLAY are empty)"
    "X platform asked for, no display|DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=xcb|none is set (DISPLAY and WAYLAND_DISPLAY are empty)"
    "X display nobody serves|DISPLAY=:$free_display WAYLAND_DISPLAY=|none could be opened (DISPLAY=:$free_display)"
    "Wayland and X displays nobody serves|WAYLAND_DISPLAY=tolvik-none-$$ DISPLAY=:$free_display|none could be opened (WAYLAND_DISPLAY=tolvik-none-$$, DISPLAY=:$free_display)"
)
for entry in "${cases[@]}"; do
    IFS='|' read -r name environment says <<<"$entry"
    # shellcheck disable=SC2086 # the environment is a list of words
    timeout 60 env -u QT_QPA_PLATFORM $environment "$program" >"$tmp/out" 2>"$tmp/err"
    rc=$?
    check "$name: exit status 1, not $rc" test $rc -eq 1
    check "$name: nothing on stdout" test ! -s "$tmp/out"
    check "$name: one line on stderr, not $(wc -l <"$tmp/err")" test "$(wc -l <"$tmp/err")" -eq 1
    check "$name: the line says '$says'" grep -qF "tolvik: the window needs a graphical display, and $says; tolvik-convert does the same conversion without one" "$tmp/err"
done

# Help and version work where no window can open.
DISPLAY= WAYLAND_DISPLAY= "$program" --version >"$tmp/out" 2>"$tmp/err"
check "--version exits 0" test $? -eq 0
check "--version names program and version" test "$(head -n 1 "$tmp/out")" = "tolvik 2.01"
check "--version names the licence" grep -q "^License GPL-3.0-or-later: " "$tmp/out"
DISPLAY= WAYLAND_DISPLAY= "$program" -h >"$tmp/out" 2>"$tmp/err"
check "-h exits 0" test $? -eq 0
check "-h shows the usage" grep -q "^Usage: tolvik \[OPTION\]" "$tmp/out"
check "-h names tolvik-convert" grep -q "tolvik-convert" "$tmp/out"

finish
