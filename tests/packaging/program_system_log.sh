#!/usr/bin/env bash
# --system-log on Linux: in a private mount namespace a datagram socket of this test stands in for
# /dev/log, and the lines the program sends there are read back: ident zanthrel, every log line, the
# alarm at warning, the captures at notice, the rest at info. Needs root (unshare); run on an X
# display (with_xvfb.sh). Exits 77 (skipped) where no mount namespace can be made.
# Usage: program_system_log.sh PATH/TO/zanthrel
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
program=${1:?usage}

if [ "${ZANTHREL_IN_NAMESPACE:-}" != 1 ]; then
    unshare -m --propagation private true 2>/dev/null || skip "no private mount namespace here"
    ZANTHREL_IN_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi

make_work_dir work
pids=()
cleanup stop_listed pids

# A /dev of our own, only in this namespace: the devices the program opens, and room for a /dev/log
# socket whether or not the machine has one.
mkdir "$work/dev"
mount -t tmpfs -o mode=755,size=1m zanthrel-dev "$work/dev"
for node in null zero full random urandom tty; do
    [ -e "/dev/$node" ] || continue
    touch "$work/dev/$node"
    mount --bind "/dev/$node" "$work/dev/$node"
done
mkdir "$work/dev/shm"
mount -t tmpfs -o mode=1777 zanthrel-shm "$work/dev/shm"
ln -s /proc/self/fd "$work/dev/fd"
mount --move "$work/dev" /dev

python3 - /dev/log "$work/received" <<'PY' &
import os, socket, sys
receiver = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
receiver.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o666)
with open(sys.argv[2], "a", encoding="utf-8") as out:
    print("ready", file=out, flush=True)
    while True:
        out.write(receiver.recv(65536).decode("utf-8", "replace") + "\n")
        out.flush()
PY
pids+=("$!")
wait_for 20 grep -qx ready "$work/received" 2>/dev/null || fail "the stand-in for /dev/log did not start"

"$program" --system-log --monitor --echo-log >"$work/echo" 2>"$work/err" &
guard=$!
pids+=("$guard")
wait_for 20 grep -q '^Protection Started on ' "$work/echo" ||
    fail "the program did not start monitoring: $(cat "$work/echo" "$work/err")"
counted() { [ "$(grep -c '^New Screen Capture Detected on ' "$work/echo")" = "$1" ]; }
# Four different pictures within seconds: four captures and the alarm.
count=0
for colour in red green blue yellow; do
    count=$((count + 1))
    convert -size 16x16 "xc:$colour" "$work/$colour.png"
    xclip -selection clipboard -t image/png -i "$work/$colour.png" >/dev/null 2>&1 &
    pids+=("$!")
    wait_for 20 counted "$count" || fail "the capture of $colour was not counted: $(cat "$work/echo")"
done
# The alarm's lines end with the blocking it switches on; each is sent to the system log as it is written.
sent_all() {
    grep -q '^Clipboard Blocked - Action Started on ' "$work/echo" &&
        [ "$(grep -c " zanthrel\[$guard\]: " "$work/received")" -ge "$(wc -l <"$work/echo")" ]
}
wait_for 20 sent_all || fail "the alarm's lines did not all reach the system log: $(cat "$work/received")"

# Every line the window logged went to the system log, in order, with its priority (facility user).
priority() {
    case "$1" in
        "Too Many Screen Captures"*) echo 12 ;;    # warning
        "New Screen Capture Detected"*) echo 13 ;; # notice
        *) echo 14 ;;                              # info
    esac
}
# Other programs of the session (a D-Bus daemon Qt started) may log here too.
grep ' zanthrel\[' "$work/received" >"$work/sent" || true
[ "$(wc -l <"$work/sent")" -eq "$(wc -l <"$work/echo")" ] ||
    fail "$(wc -l <"$work/echo") lines logged, $(wc -l <"$work/sent") sent: $(cat "$work/sent")"
line_number=0
while IFS= read -r line; do
    line_number=$((line_number + 1))
    sent=$(sed -n "${line_number}p" "$work/sent")
    expected="<$(priority "$line")>"
    [[ "$sent" == "$expected"*" zanthrel[$guard]: $line" ]] || fail "line $line_number sent as '$sent', expected $expected ... zanthrel[$guard]: $line"
done <"$work/echo"

# A guard started without the option takes it from a second start, with the clicks that come along.
kill "$guard"
wait "$guard" 2>/dev/null || true
"$program" --echo-log >"$work/echo2" 2>&1 &
second=$!
pids+=("$second")
wait_for 20 grep -q '^Clipboard Not Protected' "$work/echo2" || fail "the second guard did not start: $(cat "$work/echo2")"
"$program" --system-log --block || fail "the hand-over of --system-log --block failed"
wait_for 20 grep -q "<14>.* zanthrel\[$second\]: Clipboard Blocked - Action Started on " "$work/received" ||
    fail "the handed-over --system-log wrote nothing: $(tail -3 "$work/received")"
echo "PASS: $line_number log lines in the system log, the alarm at warning; --system-log handed over"
