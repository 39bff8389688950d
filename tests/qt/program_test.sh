#!/usr/bin/env bash
# Drives the shipped program through X as a user would: it opens its window at the size of its
# layout, and a click on the block button makes text copied by another program vanish.
# Usage (on an X display, e.g. through with_xvfb.sh): program_test.sh PATH/TO/zanthrel
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"

program=${1:?usage: $0 PATH/TO/zanthrel}
make_work_dir workdir

"$program" >"$workdir/program.log" 2>&1 &
program_pid=$!
cleanup stop_process "$program_pid"
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n1) ||
    fail "no window named Zanthrel appeared; program output: $(cat "$workdir/program.log")"

eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 773 ] && [ "$HEIGHT" = 570 ] || fail "client area is ${WIDTH}x${HEIGHT}, expected 773x570 at 96 dpi"

# The middle of cmdEnableDisable: 450, 2790, 10635 x 645 twips.
xdotool mousemove --window "$window" 384 207 click 1

echo "copied by another program" >"$workdir/text"
xclip -selection clipboard -quiet -i "$workdir/text" >/dev/null 2>&1 &
copy_pid=$!
cleanup stop_process "$copy_pid"
# xclip serves the selection until it loses it, which blocking makes it do.
wait_for 20 process_ended "$copy_pid" || fail "xclip still owns the clipboard 20 s after blocking was switched on"
if xclip -selection clipboard -o >/dev/null 2>&1; then fail "xclip -o still reads the clipboard"; fi
kill -0 "$program_pid" 2>/dev/null || fail "the program ended; its output: $(cat "$workdir/program.log")"
echo "PASS: window 773x570, blocking emptied the clipboard and left it without an owner"
