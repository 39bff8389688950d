#!/usr/bin/env bash
# The program names the programs behind the captures, as the X server and the kernel know them: xclip
# copying, a client that claims to be another process, one that left its connection to a child, and xclip
# reading.
# Usage (on an X display, e.g. through with_xvfb.sh): program_naming_test.sh PATH/TO/zanthrel PATH/TO/x11_test_owner
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"

program=${1:?usage: $0 PATH/TO/zanthrel PATH/TO/x11_test_owner}
owner=${2:?usage: $0 PATH/TO/zanthrel PATH/TO/x11_test_owner}
make_work_dir workdir
on_failure show_file log "$workdir/log"
pids=()
cleanup stop_listed pids
for colour in red green blue white; do convert -size 32x32 "xc:$colour" "$workdir/$colour.png"; done

# Waits until the log holds the exact line.
await_line() { wait_for 20 grep -qxF -- "$1" "$workdir/log" || fail "no line \"$1\" within 20 s"; }
await_owner() { wait_for 20 grep -qx owner "$1" || fail "the test owner never took the clipboard"; }

# A picture on the clipboard as the program starts is its start-up snapshot, not a capture; this xclip
# says when it has handed it out. The first copy below is then a change from it, and a capture.
xclip -selection clipboard -t image/png -quiet -loops 100 -i "$workdir/white.png" >/dev/null 2>"$workdir/start" &
pids+=($!)
wait_for 20 xclip -selection clipboard -o -t TARGETS >/dev/null 2>&1 || fail "xclip did not take the clipboard"
"$program" --monitor --echo-log >"$workdir/log" 2>&1 &
pids+=($!)
timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' >/dev/null || fail "no window"
wait_for 20 grep -q 'request 2 of' "$workdir/start" || fail "the program did not read the clipboard as it started"

xclip -selection clipboard -t image/png -quiet -i "$workdir/red.png" >/dev/null 2>&1 &
copier=$!
pids+=($copier)
await_line "    Copied by xclip (process $copier)"

xclip -selection clipboard -t image/png -o >/dev/null 2>&1 &
reader=$!
wait $reader || fail "xclip -o could not read the picture"

"$owner" claims 1 "$workdir/green.png" >"$workdir/claims" &
liar=$!
pids+=($liar)
await_owner "$workdir/claims"
await_line "    Copied by x11_test_owner (process $liar)"

"$owner" orphan "$workdir/blue.png" >"$workdir/orphan" &
parent=$!
wait $parent
await_owner "$workdir/orphan"
child=$(sed -n 's/^child //p' "$workdir/orphan")
pids+=("$child")
await_line "    Copied by x11_test_owner (process $child)"

xclip -selection clipboard -t image/png -quiet -i "$workdir/white.png" >/dev/null 2>&1 &
last=$!
pids+=($last)
await_line "    Copied by xclip (process $last)"

alarm=$(grep -A1 '^Too Many Screen Captures Detected in a Short Period of Time. Alarm Raised on ' "$workdir/log" | tail -n1)
expected="    Copied by xclip (process $copier), x11_test_owner (process $liar), x11_test_owner (process $child), xclip (process $last); read by xclip (process $reader)"
[ "$alarm" = "$expected" ] || fail "the line under the alarm is \"$alarm\", expected \"$expected\""
grep -v '^    ' "$workdir/log" | grep -qvE '^(Clipboard Not Protected|Protection Started|New Screen Capture|Too Many|Protection Stopped|Clipboard Blocked)' &&
    fail "a line the log never had before"
# The alarm blocked the clipboard: what the next copier put there is emptied, and the copier named.
xclip -selection clipboard -t image/png -quiet -i "$workdir/red.png" >/dev/null 2>&1 &
blocked=$!
pids+=($blocked)
await_line "    Emptied what xclip (process $blocked) had copied"
cat "$workdir/log"
echo "PASS: copiers, a false _NET_WM_PID, an exited owner, a reader and an emptied copier named as the server and kernel know them"
