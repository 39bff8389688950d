#!/usr/bin/env bash
# Drives the shipped program through X as a user would: it opens its window at the size of its
# layout, and a click on the block button makes text copied by another program vanish.
# Usage (on an X display, e.g. through with_xvfb.sh): program_test.sh PATH/TO/zanthrel
set -euo pipefail

program=${1:?usage: $0 PATH/TO/zanthrel}
fail() { echo "FAIL: $*" >&2; exit 1; }

workdir=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-program.XXXXXX")
program_pid=""
copy_pid=""
cleanup() {
    for pid in $copy_pid $program_pid; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$workdir"
}
trap cleanup EXIT

"$program" >"$workdir/program.log" 2>&1 &
program_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n1) ||
    fail "no window named Zanthrel appeared; program output: $(cat "$workdir/program.log")"

eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 773 ] && [ "$HEIGHT" = 570 ] || fail "client area is ${WIDTH}x${HEIGHT}, expected 773x570 at 96 dpi"

# The middle of cmdEnableDisable: 450, 2790, 10635 x 645 twips.
xdotool mousemove --window "$window" 384 207 click 1

echo "copied by another program" >"$workdir/text"
xclip -selection clipboard -quiet -i "$workdir/text" >/dev/null 2>&1 &
copy_pid=$!
# xclip serves the selection until it loses it; the blocker must take it away within moments.
deadline=$((SECONDS + 10))
while kill -0 "$copy_pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "xclip still owns the clipboard 10 s after blocking was switched on"
    sleep 0.05
done
copy_pid=""
if xclip -selection clipboard -o >/dev/null 2>&1; then fail "xclip -o still reads the clipboard"; fi
kill -0 "$program_pid" 2>/dev/null || fail "the program ended; its output: $(cat "$workdir/program.log")"
echo "PASS: window 773x570, blocking emptied the clipboard and left it without an owner"
