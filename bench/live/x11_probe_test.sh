#!/usr/bin/env bash
# The X11 probe as the live run relies on it, with xclip as the program it measures: it offers its
# picture as a PNG under TARGETS and image/png, records when the picture was handed out, stops
# copying once another owner took the clipboard, and counts copies that nobody took away.
# Usage (on an X display, e.g. through with_xvfb.sh): x11_probe_test.sh PATH/TO/zanthrel_live_x11
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/lib/test_lib.sh"

probe=${1:?usage: $0 PATH/TO/zanthrel_live_x11}
make_work_dir work

wait_for_line() {  # PATTERN FILE: a line of FILE matching PATTERN
    wait_for 20 grep -q -- "$1" "$2" || fail "no line like '$1' in $2: $(cat "$2")"
}

# Three pictures 2 s apart; the second is never made, because xclip takes the clipboard first.
"$probe" copy-pictures 3 2000 64 48 7 >"$work/out" 2>"$work/err" &
probe_pid=$!
cleanup stop_process "$probe_pid"
wait_for_line '^copy [0-9]*$' "$work/out"

targets=$(xclip -selection clipboard -t TARGETS -o)
grep -qx 'image/png' <<<"$targets" || fail "TARGETS does not offer image/png: $targets"
xclip -selection clipboard -t image/png -o >"$work/picture.png"
[ "$(identify -format '%m %wx%h' "$work/picture.png")" = "PNG 64x48" ] ||
    fail "image/png did not give a 64x48 PNG: $(identify "$work/picture.png" 2>&1)"
wait_for_line '^served [0-9]*$' "$work/out"
copied=$(sed -n 's/^copy //p' "$work/out")
served=$(sed -n 's/^served //p' "$work/out")
[ "$served" -ge "$copied" ] || fail "handed out at $served, before it was copied at $copied"

echo "another program" | xclip -selection clipboard -i
wait_for 20 process_ended "$probe_pid" || fail "the probe went on copying after losing the clipboard"
wait "$probe_pid" || fail "the probe failed: $(cat "$work/err")"
[ "$(grep -c '^copy ' "$work/out")" = 1 ] || fail "copies after the clipboard was taken: $(cat "$work/out")"

# Nobody empties the clipboard here: every copy is reported as kept, none as a short exposure.
"$probe" exposure 2 10 >"$work/exposure" || fail "the exposure probe failed"
grep -qx 'block_exposure_kept 2 times' "$work/exposure" || fail "unexpected exposure figures: $(cat "$work/exposure")"
echo "PASS: image/png served and stamped, copying stopped when the clipboard was taken, kept copies counted"
