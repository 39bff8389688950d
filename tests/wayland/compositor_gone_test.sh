#!/usr/bin/env bash
# The compositor whose clipboard the program watches goes away while the program runs: the program must
# say once that it can no longer watch, and go on answering its user, rather than show "Stop the
# Protection" over a guard that sees nothing. Its window lives on an X server of its own (Xvfb), so that
# only the clipboard's connection is lost.
# Usage: with_sway.sh compositor_gone_test.sh PATH/TO/zanthrel
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../lib/test_lib.sh"
program=${1:?usage: $0 PATH/TO/zanthrel}
if [ "${2:-}" != --on-xvfb ]; then
    # WAYLAND_DISPLAY names sway's socket by its full path, which stays valid inside with_xvfb.sh.
    exec "$here/../qt/with_xvfb.sh" env SWAY_WAYLAND_DISPLAY="$WAYLAND_DISPLAY" SWAYSOCK="$SWAYSOCK" \
        "$0" "$program" --on-xvfb
fi

make_work_dir workdir
on_failure show_file "the program's log" "$workdir/log"
count() { grep -c -- "^$1" "$workdir/log" || true; }
at_least() { [ "$(count "$2")" -ge "$1" ]; }
await() { wait_for 20 at_least "$1" "$2" || fail "no line \"$2\" ($1 wanted) within 20 s"; }

cannot_watch="Clipboard Cannot Be Watched on This Desktop - "
QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY="$SWAY_WAYLAND_DISPLAY" "$program" --clipboard=wayland --monitor --echo-log \
    >"$workdir/log" 2>"$workdir/stderr" </dev/null &
program_pid=$!
cleanup stop_process "$program_pid"
await 1 "Protection Started on "
# It watches sway's clipboard: a picture copied there by a native program counts.
convert -size 24x24 xc:red "$workdir/red.png"
WAYLAND_DISPLAY="$SWAY_WAYLAND_DISPLAY" wl-copy --type image/png <"$workdir/red.png"
await 1 "New Screen Capture Detected on "
[ "$(count "$cannot_watch")" = 0 ] || fail "said it cannot watch while it could"

swaymsg exit >/dev/null 2>&1 || true
await 1 "$cannot_watch"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended with the compositor; stderr: $(cat "$workdir/stderr")"

# The window still answers its user: stopping monitoring is logged.
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n 1) || fail "no window"
xdotool mousemove --window "$window" 384 89 click 1  # the middle of cmdStartPause
await 1 "Protection Stopped on "
# Said once: the same line again after the click's would not have been held back as a repeat.
[ "$(count "$cannot_watch")" = 1 ] || fail "the lost compositor was said $(count "$cannot_watch") times"
echo "PASS: the lost compositor said once, the window still answers"
