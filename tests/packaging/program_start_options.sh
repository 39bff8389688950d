#!/usr/bin/env bash
# The Linux program's start options and its one guard per display, on an X display (with_xvfb.sh):
# --monitor and --block together are refused; --monitor --minimized starts monitoring, as the click
# does, minimized where there is no tray; a second start hands --block to the running guard and ends
# with status 0 without a window of its own; a stopped (hung) guard does not keep a new one from
# starting, and a guard that ended leaves nothing that would.
# Usage: program_start_options.sh PATH/TO/zanthrel
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
program=${1:?usage}

make_work_dir work
pids=()
cleanup stop_listed pids

# Waits until FILE has a line that holds TEXT.
wait_for_line() {
    local file=$1 text=$2
    wait_for 20 grep -qF -- "$text" "$file" 2>/dev/null ||
        fail "no line '$text' in $file within 20 s: $(cat "$file" 2>/dev/null)"
}
visible_windows() { xdotool search --onlyvisible --name '^Zanthrel$' 2>/dev/null | wc -l; }

status=0
"$program" --monitor --block >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "--monitor --block exited with $status, expected 2"
[ "$(wc -l <"$work/err")" -eq 1 ] && [ ! -s "$work/out" ] || fail "refusal printed '$(cat "$work/out" "$work/err")'"
[ "$(visible_windows)" -eq 0 ] || fail "a refused start opened a window"

# The autostart entry's start: monitoring from the first moment, minimized (Xvfb has no tray).
"$program" --echo-log --monitor --minimized >"$work/first" 2>"$work/first.err" &
first=$!
pids+=("$first")
wait_for_line "$work/first" "Protection Started on "
[ "$(sed -n 1p "$work/first")" = "Clipboard Not Protected. Please click the first button to enable the protection." ] &&
    [[ "$(sed -n 2p "$work/first")" == "Protection Started on "*"..." ]] || fail "log: $(cat "$work/first")"
window=$(timeout 20 xdotool search --sync --name '^Zanthrel$' | head -n1)
xprop -id "$window" WM_HINTS | grep -q 'Iconic' || fail "--minimized: $(xprop -id "$window" WM_HINTS)"

# A second start hands --block over: the first blocks as its button would, the second ends at once.
start=$(date +%s%N)
status=0
timeout 20 "$program" --block >"$work/second" 2>&1 || status=$?
echo "hand-over answered in $((($(date +%s%N) - start) / 1000000)) ms"
[ "$status" -eq 0 ] || fail "the second start exited with $status: $(cat "$work/second")"
wait_for_line "$work/first" "Clipboard Blocked - Action Started on "
[[ "$(sed -n 3p "$work/first")" == "Monitoring Stopped on "*"..." ]] || fail "log: $(cat "$work/first")"
[ "$(wc -l <"$work/first")" -eq 4 ] || fail "log: $(cat "$work/first")"
[ "$(visible_windows)" -eq 1 ] || fail "$(visible_windows) windows are shown, expected 1"
# Monitoring while blocked is refused as the button refuses it: blocking disabled the first button.
"$program" --monitor >/dev/null 2>&1 || fail "the third start did not end with status 0"
# A click acted on after the hand-over (the guard acts on one once its sender has had the answer): a
# line that the refused --monitor wrote would come before the click's.
xdotool mousemove --window "$window" 384 207 click 1  # the middle of cmdEnableDisable
wait_for_line "$work/first" "Clipboard Unblocked - Started on "
[ "$(wc -l <"$work/first")" -eq 5 ] || fail "a refused --monitor logged: $(cat "$work/first")"

# A guard that stopped answering: the next start waits for it no longer than the deadline, then guards.
kill -STOP "$first"
start=$(date +%s%N)
"$program" --echo-log >"$work/third" 2>&1 &
third=$!
pids+=("$third")
wait_for_line "$work/third" "Clipboard Not Protected."
echo "a start beside a hung guard guarded after $((($(date +%s%N) - start) / 1000000)) ms"
kill -CONT "$first"
# The new guard answers the starts after it.
"$program" --block >/dev/null 2>&1 || fail "a start beside the new guard did not hand over"
wait_for_line "$work/third" "Clipboard Blocked - Action Started on "

# Guards that ended leave nothing behind: the next start guards at once.
kill "$first" "$third"
wait "$first" "$third" 2>/dev/null || true
start=$(date +%s%N)
"$program" --echo-log >"$work/fourth" 2>&1 &
pids+=("$!")
wait_for_line "$work/fourth" "Clipboard Not Protected."
echo "a start after the guards ended guarded after $((($(date +%s%N) - start) / 1000000)) ms"
echo "PASS: the refusal, --monitor --minimized, the hand-over, a hung and an ended guard"
