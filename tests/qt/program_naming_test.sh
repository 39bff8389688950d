#!/usr/bin/env bash
# The program names the programs behind the captures, as the X server and the kernel know them: xclip
# copying, a client that claims to be another process, one that left its connection to a child, and xclip
# reading.
# Usage (on an X display, e.g. through with_xvfb.sh): program_naming_test.sh PATH/TO/zanthrel PATH/TO/x11_test_owner
set -euo pipefail

program=${1:?usage: $0 PATH/TO/zanthrel PATH/TO/x11_test_owner}
owner=${2:?usage: $0 PATH/TO/zanthrel PATH/TO/x11_test_owner}
fail() { echo "FAIL: $*" >&2; echo "--- log:" >&2; cat "$workdir/log" >&2; exit 1; }

workdir=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-naming.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$workdir"
}
trap cleanup EXIT
for colour in red green blue white; do convert -size 32x32 "xc:$colour" "$workdir/$colour.png"; done

# Waits until the log holds the exact line.
await_line() {
    local deadline=$((SECONDS + 10))
    until grep -qxF -- "$1" "$workdir/log"; do
        [ $SECONDS -lt $deadline ] || fail "no line \"$1\" within 10 s"
        sleep 0.05
    done
}
await_owner() {
    local deadline=$((SECONDS + 10))
    until grep -qx owner "$1"; do
        [ $SECONDS -lt $deadline ] || fail "the test owner never took the clipboard"
        sleep 0.02
    done
}

"$program" --monitor --echo-log >"$workdir/log" 2>&1 &
pids+=($!)
timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' >/dev/null || fail "no window"
sleep 0.5  # the start-up snapshots taken, so that the first copy is a capture

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
