#!/usr/bin/env bash
# Programs that take the clipboard and then leave their X connection to a child, which serves it while
# the first process exits: xclip in its default mode, four times (under another name, so that nothing
# can go by the name alone), then a client of our own that forks as xclip does, whose copy blocking
# empties after the alarm. Each line names the program and the process that serves the clipboard,
# never "a program that has exited".
# Usage (on an X display, e.g. through with_xvfb.sh):
#   forking_owner_naming_test.sh PATH/TO/zanthrel PATH/TO/x11_test_owner
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"

program=${1:?usage: $0 PATH/TO/zanthrel PATH/TO/x11_test_owner}
owner=${2:?usage: $0 PATH/TO/zanthrel PATH/TO/x11_test_owner}
make_work_dir workdir
on_failure show_file log "$workdir/log"
pids=()
cleanup stop_listed pids
# The children that serve the copies are nobody's children here once their parents have gone: the X
# server ending under them ends them.
for colour in red green blue white black; do convert -size 32x32 "xc:$colour" "$workdir/$colour.png"; done
clip="$workdir/shotclip"
cp "$(command -v xclip)" "$clip"

# Waits until `command` succeeds, for at most 20 s.
await() {
    local what=$1
    shift
    wait_for 20 "$@" || fail "$what within 20 s"
}
copied_lines() { grep -cE '^    Copied by ' "$workdir/log" || true; }
more_copied_lines_than() { [ "$(copied_lines)" -gt "$1" ]; }
# The process named in the newest "Copied by" line, when it names exactly one program as `name`.
named_process() { sed -nE "s/^    Copied by $1 \(process ([0-9]+)\)\$/\1/p" "$workdir/log" | tail -n1; }

# A picture on the clipboard before the start, served by xclip in the foreground: once the program has
# read its picture, the start-up snapshots are taken and the next copy counts.
xclip -verbose -selection clipboard -t image/png -i "$workdir/red.png" >/dev/null 2>"$workdir/seed" &
pids+=($!)
await "xclip did not take the clipboard" grep -q 'request number 1' "$workdir/seed"
"$program" --monitor --echo-log >"$workdir/log" 2>&1 &
pids+=($!)
await "the program did not read the clipboard at its start" grep -q 'request number 2' "$workdir/seed"

served=()
for colour in green blue white black; do
    before=$(copied_lines)
    "$clip" -selection clipboard -t image/png -i "$workdir/$colour.png" >/dev/null 2>&1 &
    first=$!
    wait $first || fail "shotclip could not copy $colour.png"
    # The child serves until the next copy; the last one only until the alarm's blocking empties the
    # clipboard, which may come before anything here can look.
    server=$(pgrep -xf "$clip -selection clipboard -t image/png -i $workdir/$colour.png") ||
        [ $colour = black ] || fail "no shotclip serves $colour.png"
    await "no name under the capture of $colour.png" more_copied_lines_than "$before"
    child=$(named_process shotclip)
    [ -n "$child" ] || fail "the capture of $colour.png is not named as shotclip: $(tail -n1 "$workdir/log")"
    [ "$child" != "$first" ] || fail "named the process that exited, $first (server $server)"
    [ -z "$server" ] || [ "$child" = "$server" ] || fail "named process $child, not $server, which serves"
    served+=("shotclip (process $child)")
done
alarm=$(grep -A1 '^Too Many Screen Captures Detected in a Short Period of Time. Alarm Raised on ' "$workdir/log" |
    tail -n1)
expected="    Copied by ${served[0]}, ${served[1]}, ${served[2]}, ${served[3]}"
[ "$alarm" = "$expected" ] || fail "the line under the alarm is \"$alarm\", expected \"$expected\""

# The alarm blocked the clipboard: what the next program copies is emptied, and its serving child named.
"$owner" forks "$workdir/red.png" >"$workdir/forks" &
parent=$!
wait $parent || fail "x11_test_owner forks ended with an error"
await "x11_test_owner's child did not say who it is" grep -q '^child ' "$workdir/forks"
child=$(sed -n 's/^child //p' "$workdir/forks")
await "no line naming x11_test_owner (process $child)" \
    grep -qxF "    Emptied what x11_test_owner (process $child) had copied" "$workdir/log"

grep -q 'has exited' "$workdir/log" && fail "a program named as exited"
cat "$workdir/log"
echo "PASS: xclip in its default mode and a client that forks after copying named by the processes that serve"
