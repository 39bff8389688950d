#!/usr/bin/env bash
# One live session against a running program, on the display in $DISPLAY; called by live.sh.
# Usage: session.sh linux PROGRAM LIVE_TOOL X11_PROBE
#        session.sh windows PROGRAM_EXE LIVE_TOOL PROBE_EXE XVFB_PID     (WINEPREFIX set, wineserver running)
# Prints one `name value unit` line per figure on stdout; progress and side figures go to stderr.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/lib/test_lib.sh"

platform=${1:?platform}
program=${2:?program}
live=${3:?live tool}
probe=${4:?probe}
xvfb_pid=${5:-}

cpu_seconds=${ZANTHREL_LIVE_CPU_SECONDS:-10}
picture=${ZANTHREL_LIVE_PICTURE:-1920x1080}
copies=${ZANTHREL_LIVE_COPIES:-20}
# A copy is paired with the first detection before the next copy, so the spacing must stay well above
# the latency: under Wine a 1920x1080 bitmap takes a few hundred milliseconds.
if [ "$platform" = windows ]; then spacing=${ZANTHREL_LIVE_SPACING_MS:-1000}; else spacing=${ZANTHREL_LIVE_SPACING_MS:-300}; fi
width=${picture%x*}
height=${picture#*x}

say() { echo "live: $*" >&2; }
if [ -n "${ZANTHREL_LIVE_KEEP:-}" ]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-live.XXXXXX")
    cleanup say "log and copies kept in $work"
else
    make_work_dir work live
fi
log=$work/log
relay_pid=""
launcher_pid=""
holder_pid=""
end_session() {
    [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
    [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null
    [ "$platform" = windows ] && wineserver -k >/dev/null 2>&1
    [ -n "$relay_pid" ] && wait "$relay_pid" 2>/dev/null
}
cleanup end_session

show_progress() {
    say "the program's log so far:"
    sed 's/^[0-9]* /    /' "$log" >&2 || true
    say "its standard error:"
    tail -n 20 "$work/program.err" >&2 || true
}
on_failure show_progress
figure() { echo "$1 $2 $3"; }

count_log() { grep -c -F -- "$1" "$log" || true; }
# Waits until the log holds at least COUNT lines with TEXT; 20 s at most.
wait_log() {
    wait_for 20 logged "$1" "$2" || fail "no log line \"$1\" (wanted $2) within 20 s"
}
logged() {
    process_ended "$launcher_pid" && fail "the program ended"
    [ "$(count_log "$1")" -ge "$2" ]
}

# A process of our Wine prefix by its command name: `wine` itself is only the launcher.
wine_pid() {
    wait_for 30 find_wine_process "$1" || fail "no process $1 in $WINEPREFIX"
}
find_wine_process() {
    local pid
    for pid in $(pgrep -x -- "$1" || true); do
        if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return
        fi
    done
    false
}

run_probe() {
    if [ "$platform" = windows ]; then wine "$probe" "$@" </dev/null; else "$probe" "$@" </dev/null; fi
}

# The middle of the two buttons in pixels (twips / 15): cmdStartPause 450,1035 10590x600 and
# cmdEnableDisable 450,2790 10635x645.
act() {
    if [ "$platform" = windows ]; then
        wine "$probe" "do" "$@" </dev/null || fail "could not work the window: $*"
        return
    fi
    local step box
    for step in "$@"; do
        case $step in
        start | stop) xdotool mousemove --window "$window" 383 89 click 1 ;;
        block | unblock) xdotool mousemove --window "$window" 384 207 click 1 ;;
        ok-warning)
            box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Warning$' | head -n 1) ||
                fail "no warning box within 10 s"
            xdotool windowfocus --sync "$box" key Return
            wait_for 10 warning_closed || fail "the warning box did not close on Return"
            ;;
        esac
    done
}

more_alarms_than() { [ "$(count_log "Alarm Raised")" -gt "$1" ]; }
warning_closed() { ! xdotool search --onlyvisible --name '^Warning$' >/dev/null 2>&1; }

# One step that the log must confirm: the step, the line it writes.
step() {
    local before
    before=$(count_log "$2")
    act "$1"
    wait_log "$2" $((before + 1))
}

cpu_figure() {
    local name=$1 seconds=${2:-$cpu_seconds} labelled=("program=$program_pid")
    [ "$platform" = windows ] && labelled+=("wineserver=$(wine_pid 'wineserver(64)?')")
    [ -n "$xvfb_pid" ] && labelled+=("Xvfb=$xvfb_pid")
    sleep 1  # what the click set off settles before the measured span
    while read -r label best threads whole wakeups; do
        if [ "$label" = program ]; then
            figure "$name" "$best" %
            say "$name: $threads % summed over threads, $whole % from utime+stime, $wakeups wake-ups/s"
        else
            say "$name: $label used $best % meanwhile, $wakeups wake-ups/s"
        fi
    done < <("$live" cpu "$seconds" "${labelled[@]}")
}

mkfifo "$work/out"
"$live" relay <"$work/out" >"$log" &
relay_pid=$!
if [ "$platform" = windows ]; then
    wine "$program" --echo-log >"$work/out" 2>"$work/program.err" </dev/null &
else
    "$program" --echo-log >"$work/out" 2>"$work/program.err" </dev/null &
fi
launcher_pid=$!

# Other work on the machine shows in every figure; the load says how much there was.
say "$platform: starting $(basename "$program"); load average $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$platform" = windows ]; then
    program_pid=$(wine_pid zanthrel.exe)
else
    program_pid=$launcher_pid
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n 1) ||
        fail "no window named Zanthrel within 20 s"
fi
wait_log "Clipboard Not Protected" 1

step start "Protection Started on"
say "monitoring on; measuring CPU for $cpu_seconds s"
cpu_figure monitor_idle_cpu_pct

# The same with a picture on the clipboard, offered by another program and left unchanged: a guard
# that fetched it again on every tick would show here, not with an empty clipboard.
detections=$(count_log "New Screen Capture Detected")
run_probe copy-pictures 1 0 "$width" "$height" 1 $((cpu_seconds + 20)) >"$work/copies" &
holder_pid=$!
wait_log "New Screen Capture Detected" $((detections + 1))
say "monitoring on with a picture on the clipboard; measuring CPU for $cpu_seconds s"
cpu_figure monitor_idle_picture_cpu_pct

step block "Clipboard Blocked"
wait "$holder_pid" || fail "the probe holding a picture failed"  # blocking took the picture away
holder_pid=""
say "blocking on; measuring CPU for $cpu_seconds s"
cpu_figure block_idle_cpu_pct

say "copying a text 100 times, 50 ms apart, while blocking"
run_probe exposure 100 50 || fail "the exposure probe failed"
if [ "$platform" = windows ]; then
    # shellcheck source=windows/race.sh
    . "$(dirname "${BASH_SOURCE[0]}")/windows/race.sh"
fi

step unblock "Clipboard Unblocked"
step start "Protection Started on"
say "copying $copies ${picture} pictures, $spacing ms apart, in groups that end with the alarm"
group=0
status=0
while [ "$(grep -c '^copy ' "$work/copies" || true)" -le "$copies" ] && [ $group -lt $((copies / 2)) ]; do
    group=$((group + 1))
    alarms=$(count_log "Alarm Raised")
    run_probe copy-pictures 4 "$spacing" "$width" "$height" $((group * 10)) >>"$work/copies" ||
        fail "the picture probe failed"
    if wait_for 5 more_alarms_than "$alarms"; then
        # The alarm stopped monitoring and blocked the clipboard: start again with the count at zero.
        # What was measured so far still counts if the program cannot be brought back.
        if ! (act ok-warning && step unblock "Clipboard Unblocked" && step start "Protection Started on"); then
            say "could not start monitoring again after the alarm; the figures cover $group group(s)"
            status=1
            break
        fi
    else
        say "group $group raised no alarm"
    fi
done
"$live" join "$work/copies" "$log" "$spacing"

# Another program opens the clipboard, puts a picture there and keeps it open: the guard must wait for
# it without spinning, and count the picture as soon as it lets go.
hold=${ZANTHREL_LIVE_HOLD_SECONDS:-30}
if [ "$platform" = windows ] && [ "$status" -eq 0 ] && [ "$hold" -ge 5 ]; then
    # Restarting monitoring after the last alarm counts the emptied clipboard once; that capture must be
    # in the log before the held picture's turn, or it would be taken for the held picture.
    sleep 1
    detections=$(count_log "New Screen Capture Detected")
    say "another program holds the clipboard open for $hold s with a picture it put there"
    run_probe hold-picture "$hold" "$width" "$height" 99 >"$work/release" &
    holder_pid=$!
    cpu_figure monitor_held_cpu_pct $((hold - 4))
    wait "$holder_pid" || fail "the probe holding the clipboard failed"
    holder_pid=""
    wait_log "New Screen Capture Detected" $((detections + 1))
    released=$(sed -n 's/^release \([0-9]*\).*/\1/p' "$work/release")
    counted=$(grep -F "New Screen Capture Detected" "$log" | sed -n "$((detections + 1))p" | cut -d' ' -f1)
    [ -n "$released" ] && [ -n "$counted" ] || fail "no release or detection time for the held picture"
    figure held_release_detect_ms "$(awk -v a="$counted" -v b="$released" 'BEGIN { printf "%.1f", (a - b) / 1e6 }')" ms
fi
say "load average $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
