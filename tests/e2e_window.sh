#!/usr/bin/env bash
# The real program in a real X server (Xvfb at 96 dots per inch, with the Openbox window
# manager for focus and close requests): the window "Tolvik" opens centred with a client
# area of 543 x 401 pixels and asks the window manager for no maximise button; Alt+M does
# nothing while the convert button is disabled; Alt+H opens the help viewer on the manual
# beside the executable; Alt+X answered with Enter (Yes) ends the program with status 0;
# the close box and Alt+F4 end it at once, without a question.
#
#   bash tests/e2e_window.sh BIN_DIR SOURCE_ROOT
set -uo pipefail

BIN_DIR=$(cd "$1" && pwd)
SOURCE_ROOT=$(cd "$2" && pwd)
PROGRAM="$BIN_DIR/tolvik"
MANUAL="$BIN_DIR/Help-Manual.chm"

passed=0
failed=0
ok() {
    echo "ok: $*"
    passed=$((passed + 1))
}
not_ok() {
    echo "FAIL: $*" >&2
    failed=$((failed + 1))
}
finish() {
    echo "$passed passed, $failed failed"
    [[ $failed -eq 0 ]]
    exit
}

# Runs a command every tenth of a second until it succeeds or `seconds` have passed.
wait_for() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    while ((tries-- > 0)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

for tool in Xvfb openbox wmctrl xdotool xwininfo xprop; do
    if ! command -v "$tool" >/dev/null; then
        not_ok "$tool is not installed (scripts/install-deps.sh installs it)"
        finish
    fi
done
[[ -x "$PROGRAM" ]] || {
    not_ok "no program at $PROGRAM"
    finish
}

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
app_pid=""
cleanup() {
    for pid in "$app_pid" "$wm_pid" "$xvfb_pid"; do
        if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A private X server on a display number it picks itself, so that parallel runs never clash.
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
if ! wait_for 20 test -s "$work/display"; then
    not_ok "Xvfb did not start: $(cat "$work/xvfb.log")"
    finish
fi
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY

# Nothing of the caller's desktop or toolkit settings reaches the program.
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
export XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_FONT_DPI \
    QT_ENABLE_HIGHDPI_SCALING QT_STYLE_OVERRIDE SESSION_MANAGER
export QT_QPA_PLATFORM=xcb

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
if ! wait_for 20 wmctrl -m; then
    not_ok "the window manager did not start: $(cat "$work/openbox.log")"
    finish
fi

# The managed top-level windows of a process: "id title" per line.
windows_of() {
    wmctrl -lp | awk -v pid="$1" '$3 == pid {
        title = ""; for (i = 5; i <= NF; ++i) title = title (i > 5 ? " " : "") $i
        print $1, title }'
}
window_count() { windows_of "$app_pid" | wc -l; }
has_windows() { [[ $(window_count) -ge $1 ]]; }
# The first window of the program other than the ones given.
other_window() {
    windows_of "$app_pid" | awk '{ print $1 }' | grep -v -x -F -f <(printf '%s\n' "$@") | head -n1
}
has_other_window() { [[ -n $(other_window "$@") ]]; }
title_of() { windows_of "$app_pid" | awk -v id="$1" '$1 == id { sub(/^[^ ]+ /, ""); print }'; }
is_active() { [[ $(xdotool getactivewindow 2>/dev/null) -eq $(($1)) ]]; }
activate() {
    wmctrl -i -a "$1"
    wait_for 10 is_active "$1"
}
ended() { ! kill -0 "$app_pid" 2>/dev/null; }

# Starts the program and waits for its window; sets app_pid and main_window.
start_program() {
    "$PROGRAM" >"$work/program.log" 2>&1 &
    app_pid=$!
    main_window=""
    if wait_for 20 has_windows 1; then
        main_window=$(windows_of "$app_pid" | awk 'NR == 1 { print $1 }')
    fi
    [[ -n "$main_window" ]] && activate "$main_window"
}

# Waits up to `seconds` for the program to end; sets exit_status.
wait_for_end() {
    exit_status=""
    if wait_for "$1" ended; then
        wait "$app_pid"
        exit_status=$?
        app_pid=""
        return 0
    fi
    return 1
}

# 1. Start-up.
start_program
if [[ -z "$main_window" ]]; then
    not_ok "no window appeared: $(cat "$work/program.log")"
    finish
fi
title=$(title_of "$main_window")
[[ "$title" == "Tolvik" ]] && ok "the window's caption is Tolvik" ||
    not_ok "the window's caption is '$title'"
info=$(xwininfo -id "$main_window")
width=$(awk '/^ *Width:/ { print $2 }' <<<"$info")
height=$(awk '/^ *Height:/ { print $2 }' <<<"$info")
[[ "$width x $height" == "543 x 401" ]] && ok "the client area is 543 x 401" ||
    not_ok "the client area is $width x $height, not 543 x 401"
left=$(awk '/Absolute upper-left X:/ { print $4 }' <<<"$info")
top=$(awk '/Absolute upper-left Y:/ { print $4 }' <<<"$info")
dx=$((left + width / 2 - 512))
dy=$((top + height / 2 - 384))
((${dx#-} <= 16 && ${dy#-} <= 16)) && ok "the window is centred on the screen" ||
    not_ok "the window's centre is ($dx, $dy) pixels off the screen's centre"
# Motif hints: functions and decorations without maximise (0x10, 0x40), with minimise and
# resize (0x08 and 0x02; 0x20 and 0x04).
read -r flags functions decorations < <(xprop -id "$main_window" _MOTIF_WM_HINTS |
    sed -n 's/.*= *//p' | tr -d ',' | awk '{ print $1, $2, $3 }')
if [[ -n "${functions:-}" ]] && ((flags & 3)) && ! ((functions & 0x10)) &&
    ((functions & 0x08)) && ((functions & 0x02)) && ! ((decorations & 0x40)) &&
    ((decorations & 0x20)) && ((decorations & 0x04)); then
    ok "the window asks for minimise and resize but no maximise"
else
    not_ok "the window's Motif hints are '$flags $functions $decorations'"
fi

# 2. Alt+M while the convert button is disabled, then Alt+H: keys are handled in order, so
# once the help viewer shows, Alt+M has been handled too, and it must have opened nothing.
activate "$main_window"
xdotool key --clearmodifiers alt+m
xdotool key --clearmodifiers alt+h
if wait_for 20 has_windows 2; then
    viewer=$(other_window "$main_window")
    viewer_title=$(title_of "$viewer")
    manual_title=$(sed -n 's/^Title=\(.*\)$/\1/p' "$SOURCE_ROOT/help/Tolvik.hhp" | tr -d '\r')
    [[ -n "$manual_title" && "$viewer_title" == "$manual_title" ]] &&
        ok "Alt+H opens the help viewer titled '$manual_title'" ||
        not_ok "the second window is '$viewer_title', not the manual '$manual_title'"
    opened=""
    for fd in /proc/"$app_pid"/fd/*; do
        [[ "$(readlink -f "$fd")" == "$(readlink -f "$MANUAL")" ]] && opened=yes
    done
    [[ -n "$opened" ]] && ok "the viewer reads the manual beside the executable" ||
        not_ok "the program has not opened $MANUAL"
else
    not_ok "Alt+H opened no help viewer"
fi
[[ $(window_count) -eq 2 ]] && ok "Alt+M with the convert button disabled opened nothing" ||
    not_ok "windows after Alt+M and Alt+H: $(windows_of "$app_pid" | tr '\n' ';')"

# 3. Alt+X, then Enter on the question (Yes is its default button).
activate "$main_window"
mapfile -t known < <(windows_of "$app_pid" | awk '{ print $1 }')
xdotool key --clearmodifiers alt+x
question=""
if wait_for 20 has_other_window "${known[@]}"; then
    question=$(other_window "${known[@]}")
fi
if [[ -n "$question" ]]; then
    [[ "$(title_of "$question")" == "Tolvik" ]] && ok "Alt+X asks the exit question" ||
        not_ok "Alt+X opened '$(title_of "$question")'"
    activate "$question"
    xdotool key Return
    if wait_for_end 20; then
        [[ $exit_status -eq 0 ]] && ok "Enter (Yes) ends the program with status 0" ||
            not_ok "the program ended with status $exit_status"
    else
        not_ok "the program still runs after Yes"
    fi
else
    not_ok "Alt+X asked nothing"
fi
if [[ -n "$app_pid" ]]; then
    kill "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
    app_pid=""
fi

# 4. The close box (a close request through the window manager) and Alt+F4 end the program
# at once: a question would keep it running.
for how in "close box" "Alt+F4 key"; do
    start_program
    if [[ -z "$main_window" ]]; then
        not_ok "$how: no window appeared"
        continue
    fi
    if [[ "$how" == "close box" ]]; then
        wmctrl -i -c "$main_window"
    else
        xdotool key --clearmodifiers alt+F4
    fi
    if wait_for_end 10; then
        [[ $exit_status -eq 0 ]] && ok "the $how ends the program at once with status 0" ||
            not_ok "the $how: status $exit_status"
    else
        not_ok "the program still runs after the $how: $(windows_of "$app_pid" | tr '\n' ';')"
        kill "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
        app_pid=""
    fi
done

finish
