#!/usr/bin/env bash
# The Linux program with a real notification area (trayer, an XEmbed tray host): its icon docks there,
# and the icon's menu blocks the clipboard as the window's button does.
# Usage (on an X display, e.g. through with_xvfb.sh): tray_host_test.sh PATH/TO/zanthrel
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
program=${1:?usage: $0 PATH/TO/zanthrel}
command -v trayer >/dev/null || fail "trayer is not installed (scripts/deps linux)"

make_work_dir work
trayer --edge top --align right --widthtype request --height 24 --SetDockType true >"$work/trayer.log" 2>&1 &
cleanup stop_process "$!"
# The tray is there once trayer owns the tray selection; its panel window appears at the same time.
timeout 10 xdotool search --sync --name '^panel$' >/dev/null || fail "trayer did not start"

"$program" --echo-log >"$work/log" 2>"$work/err" &
program_pid=$!
cleanup stop_process "$program_pid"
timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' >/dev/null || fail "no main window: $(cat "$work/err")"

# The docked icon: a small window of the program's inside the panel; sets `icon`.
find_docked_icon() {
    local window
    # By class: once reparented into the panel the icon is no longer found by name.
    for window in $(xdotool search --class '^zanthrel$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        if [ "$WIDTH" -le 32 ] && [ "$HEIGHT" -le 32 ] && [ "$WIDTH" -gt 1 ]; then icon=$window; fi
    done
    [ -n "$icon" ]
}
icon=""
wait_for 20 find_docked_icon || fail "no icon docked in the tray"

# Its menu's second entry blocks the clipboard.
main=$(xdotool search --onlyvisible --name '^Zanthrel$' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
# Sets `menu`: a window of the program's that is neither its main window nor its icon.
find_menu() {
    local window
    for window in $(xdotool search --onlyvisible --class '^zanthrel$' 2>/dev/null); do
        [ "$window" = "$main" ] || [ "$window" = "$icon" ] || menu=$window
    done
    [ -n "$menu" ]
}
menu=""
wait_for 20 find_menu || fail "right-clicking the icon opened no menu"
xdotool key --clearmodifiers Down Down Return
wait_for 20 grep -q '^Clipboard Blocked' "$work/log" ||
    fail "the menu's second entry did not block the clipboard; log: $(cat "$work/log")"
if grep -q '^Protection Started' "$work/log"; then fail "the menu started monitoring: $(cat "$work/log")"; fi
kill -0 "$program_pid" || fail "the program ended"

# The autostart entry's start: in the tray, monitoring, and no window until the user asks for one.
stop_process "$program_pid"
"$program" --echo-log --monitor --minimized >"$work/log" 2>"$work/err" &
program_pid=$!
cleanup stop_process "$program_pid"
icon=""
wait_for 20 find_docked_icon || fail "no icon docked in the tray"
wait_for 20 grep -q '^Protection Started' "$work/log" || fail "--monitor --minimized is not monitoring: $(cat "$work/log")"
if xdotool search --onlyvisible --name '^Zanthrel$' >/dev/null; then fail "--minimized showed the window"; fi
echo "PASS: the icon docked in the tray, its menu blocked the clipboard, --minimized started in the tray"
