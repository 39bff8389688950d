#!/usr/bin/env bash
# The Linux program with a real notification area (trayer, an XEmbed tray host): its icon docks there,
# and the icon's menu blocks the clipboard as the window's button does.
# Usage (on an X display, e.g. through with_xvfb.sh): tray_host_test.sh PATH/TO/zanthrel
set -euo pipefail
program=${1:?usage: $0 PATH/TO/zanthrel}
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v trayer >/dev/null || fail "trayer is not installed (scripts/deps linux)"

work=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-tray.XXXXXX")
tray_pid=""
program_pid=""
cleanup() {
    for pid in $program_pid $tray_pid; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

trayer --edge top --align right --widthtype request --height 24 --SetDockType true >"$work/trayer.log" 2>&1 &
tray_pid=$!
# The tray is there once trayer owns the tray selection; its panel window appears at the same time.
timeout 10 xdotool search --sync --name '^panel$' >/dev/null || fail "trayer did not start"

"$program" --echo-log >"$work/log" 2>"$work/err" &
program_pid=$!
timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' >/dev/null || fail "no main window: $(cat "$work/err")"

# The docked icon: a small window of the program's inside the panel.
docked_icon() {
    local found="" deadline=$((SECONDS + 10))
    while [ -z "$found" ]; do
        # By class: once reparented into the panel the icon is no longer found by name.
        for window in $(xdotool search --class '^zanthrel$' 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$window")"
            if [ "$WIDTH" -le 32 ] && [ "$HEIGHT" -le 32 ] && [ "$WIDTH" -gt 1 ]; then found=$window; fi
        done
        [ -n "$found" ] || [ $SECONDS -lt $deadline ] || fail "no icon docked in the tray"
        [ -n "$found" ] || sleep 0.1
    done
    echo "$found"
}
icon=$(docked_icon)

# Its menu's second entry blocks the clipboard.
main=$(xdotool search --onlyvisible --name '^Zanthrel$' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
menu=""
deadline=$((SECONDS + 10))
while [ -z "$menu" ]; do
    for window in $(xdotool search --onlyvisible --class '^zanthrel$' 2>/dev/null); do
        [ "$window" = "$main" ] || [ "$window" = "$icon" ] || menu=$window
    done
    [ -n "$menu" ] || [ $SECONDS -lt $deadline ] || fail "right-clicking the icon opened no menu"
    [ -n "$menu" ] || sleep 0.05
done
xdotool key --clearmodifiers Down Down Return
deadline=$((SECONDS + 10))
until grep -q '^Clipboard Blocked' "$work/log"; do
    [ $SECONDS -lt $deadline ] || fail "the menu's second entry did not block the clipboard; log: $(cat "$work/log")"
    sleep 0.05
done
if grep -q '^Protection Started' "$work/log"; then fail "the menu started monitoring: $(cat "$work/log")"; fi
kill -0 "$program_pid" || fail "the program ended"

# The autostart entry's start: in the tray, monitoring, and no window until the user asks for one.
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
"$program" --echo-log --monitor --minimized >"$work/log" 2>"$work/err" &
program_pid=$!
docked_icon >/dev/null
deadline=$((SECONDS + 10))
until grep -q '^Protection Started' "$work/log"; do
    [ $SECONDS -lt $deadline ] || fail "--monitor --minimized is not monitoring: $(cat "$work/log")"
    sleep 0.05
done
if xdotool search --onlyvisible --name '^Zanthrel$' >/dev/null; then fail "--minimized showed the window"; fi
echo "PASS: the icon docked in the tray, its menu blocked the clipboard, --minimized started in the tray"
