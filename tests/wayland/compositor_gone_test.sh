#!/usr/bin/env bash
# The compositor whose clipboard the program watches goes away while the program runs: the program must
# say once that it can no longer watch, and go on answering its user, rather than show "Stop the
# Protection" over a guard that sees nothing. Its window lives on an X server of its own (Xvfb), so that
# only the clipboard's connection is lost.
# Usage: with_sway.sh compositor_gone_test.sh PATH/TO/zanthrel
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=${1:?usage: $0 PATH/TO/zanthrel}
if [ "${2:-}" != --on-xvfb ]; then
    # WAYLAND_DISPLAY names sway's socket by its full path, which stays valid inside with_xvfb.sh.
    exec "$here/../qt/with_xvfb.sh" env SWAY_WAYLAND_DISPLAY="$WAYLAND_DISPLAY" SWAYSOCK="$SWAYSOCK" \
        "$0" "$program" --on-xvfb
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-compositor-gone.XXXXXX")
program_pid=""
cleanup() {
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; echo "--- the program's log:" >&2; cat "$workdir/log" >&2; exit 1; }
count() { grep -c -- "^$1" "$workdir/log" || true; }
await() {
    local want=$1 prefix=$2 deadline=$((SECONDS + 10))
    until [ "$(count "$prefix")" -ge "$want" ]; do
        [ $SECONDS -lt $deadline ] || fail "no line \"$prefix\" ($want wanted) within 10 s"
        sleep 0.02
    done
}

cannot_watch="Clipboard Cannot Be Watched on This Desktop - "
QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY="$SWAY_WAYLAND_DISPLAY" "$program" --clipboard=wayland --monitor --echo-log \
    >"$workdir/log" 2>"$workdir/stderr" </dev/null &
program_pid=$!
await 1 "Protection Started on "
# It watches sway's clipboard: a picture copied there by a native program counts.
convert -size 24x24 xc:red "$workdir/red.png"
WAYLAND_DISPLAY="$SWAY_WAYLAND_DISPLAY" wl-copy --type image/png <"$workdir/red.png"
await 1 "New Screen Capture Detected on "
[ "$(count "$cannot_watch")" = 0 ] || fail "said it cannot watch while it could"

swaymsg exit >/dev/null 2>&1 || true
await 1 "$cannot_watch"
sleep 1
[ "$(count "$cannot_watch")" = 1 ] || fail "the lost compositor was said $(count "$cannot_watch") times"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended with the compositor; stderr: $(cat "$workdir/stderr")"

# The window still answers its user: stopping monitoring is logged.
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n 1) || fail "no window"
xdotool mousemove --window "$window" 384 89 click 1  # the middle of cmdStartPause
await 1 "Protection Stopped on "
echo "PASS: the lost compositor said once, the window still answers"
