#!/usr/bin/env bash
# --system-log on Linux: in a private mount namespace a datagram socket of this test stands in for
# /dev/log, and the lines the program sends there are read back: ident zanthrel, every log line, the
# alarm at warning, the captures at notice, the rest at info. Needs root (unshare); run on an X
# display (with_xvfb.sh). Exits 77 (skipped) where no mount namespace can be made.
# Usage: program_system_log.sh PATH/TO/zanthrel
set -euo pipefail
program=${1:?usage}
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${ZANTHREL_IN_NAMESPACE:-}" != 1 ]; then
    unshare -m --propagation private true 2>/dev/null || { echo "SKIP: no private mount namespace here"; exit 77; }
    ZANTHREL_IN_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-syslog.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

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
deadline=$((SECONDS + 10))
until grep -qx ready "$work/received" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the stand-in for /dev/log did not start"
    sleep 0.05
done

"$program" --system-log --monitor --echo-log >"$work/echo" 2>"$work/err" &
guard=$!
pids+=("$guard")
deadline=$((SECONDS + 20))
until grep -q '^Protection Started on ' "$work/echo"; do
    [ $SECONDS -lt $deadline ] || fail "the program did not start monitoring: $(cat "$work/echo" "$work/err")"
    sleep 0.05
done
# Four different pictures within seconds: four captures and the alarm.
for colour in red green blue yellow; do
    convert -size 16x16 "xc:$colour" "$work/$colour.png"
    xclip -selection clipboard -t image/png -i "$work/$colour.png" >/dev/null 2>&1 &
    pids+=("$!")
    until grep -c '^New Screen Capture Detected on ' "$work/echo" | grep -qx "$(( ${#pids[@]} - 2 ))"; do
        [ $SECONDS -lt $((deadline + 20)) ] || fail "the capture of $colour was not counted: $(cat "$work/echo")"
        sleep 0.05
    done
done
deadline=$((SECONDS + 20))
until grep -q '^Too Many Screen Captures' "$work/echo" && grep -q 'Too Many Screen Captures' "$work/received"; do
    [ $SECONDS -lt $deadline ] || fail "no alarm in the system log: $(cat "$work/received")"
    sleep 0.05
done
sleep 0.5  # the lines after the alarm

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
deadline=$((SECONDS + 20))
until grep -q '^Clipboard Not Protected' "$work/echo2"; do
    [ $SECONDS -lt $deadline ] || fail "the second guard did not start: $(cat "$work/echo2")"
    sleep 0.05
done
"$program" --system-log --block || fail "the hand-over of --system-log --block failed"
deadline=$((SECONDS + 20))
until grep -q "<14>.* zanthrel\[$second\]: Clipboard Blocked - Action Started on " "$work/received"; do
    [ $SECONDS -lt $deadline ] || fail "the handed-over --system-log wrote nothing: $(tail -3 "$work/received")"
    sleep 0.05
done
echo "PASS: $line_number log lines in the system log, the alarm at warning; --system-log handed over"
