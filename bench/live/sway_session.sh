#!/usr/bin/env bash
# The Linux program on a headless sway, watching the Wayland clipboard natively; prints what it costs and
# how fast it reacts (figures only, nothing asserted):
#   monitor_idle_cpu_pct, monitor_picture_cpu_pct, block_idle_cpu_pct   CPU over N s, % of one core
#   click_while_silent_ms          from a click to its log line while the clipboard's owner never answers
#   block_exposure_{p50,p90,max}   how long a copy stays on the Wayland clipboard while blocking (copies
#                                  50 ms apart: back to back they would be a fight, emptied every 5 ms)
# Usage: tests/wayland/with_sway.sh bench/live/sway_session.sh PATH/TO/zanthrel PATH/TO/wayland_test_source
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/lib/test_lib.sh"

program=${1:?usage: $0 PATH/TO/zanthrel PATH/TO/wayland_test_source}
source_client=${2:?usage: $0 PATH/TO/zanthrel PATH/TO/wayland_test_source}
cpu_seconds=${ZANTHREL_LIVE_CPU_SECONDS:-10}

make_work_dir work sway-live
pids=()
cleanup stop_listed pids

# Each log line stamped as it arrives, by the shell itself: no process is started per line.
mkfifo "$work/echo"
"$program" --echo-log >"$work/echo" 2>/dev/null &
program_pid=$!
pids+=($program_pid)
while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done <"$work/echo" >"$work/log" &
pids+=($!)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n1)

# When the first log line starting with `prefix` after line `after` arrived, in seconds.
stamp_of() {
    local after=$1 prefix=$2
    for _ in $(seq 500); do
        local found
        found=$(tail -n +"$((after + 1))" "$work/log" | grep -m1 -- " $prefix" | cut -d' ' -f1 || true)
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.01
    done
    return 1
}
lines() { wc -l <"$work/log"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$program_pid/stat"; }
cpu_figure() {
    sleep 1  # what set the state up settles first
    local before after
    before=$(cpu_ticks)
    sleep "$cpu_seconds"
    after=$(cpu_ticks)
    awk -v n="$1" -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" -v s="$cpu_seconds" \
        'BEGIN { printf "%s %.3f\n", n, 100 * t / hz / s }'
}
start_stop() { xdotool mousemove --window "$window" 384 89 click 1; }
block() { xdotool mousemove --window "$window" 384 207 click 1; }

convert -size 64x64 xc:red "$work/red.png"
start_stop
sleep 0.5
cpu_figure monitor_idle_cpu_pct
wl-copy --type image/png <"$work/red.png"
cpu_figure monitor_picture_cpu_pct

"$source_client" silent 30 >/dev/null &
pids+=($!)
# Past the answer deadline: the owner is known to be silent.
stamp_of 0 "Clipboard Owner Did Not Deliver" >/dev/null || fail "the silent owner was never logged"
for round in 1 2 3 4 5; do
    before=$(lines)
    clicked=$EPOCHREALTIME
    start_stop
    answered=$(stamp_of "$before" "Protection") || { echo "click_while_silent_ms unanswered"; exit 1; }
    awk -v a="$answered" -v c="$clicked" 'BEGIN { printf "click_while_silent_ms %.1f\n", (a - c) * 1000 }'
done | sort -k2 -n | tail -n1 | sed 's/^click_while_silent_ms/click_while_silent_max_of_5_ms/'

wl-copy --clear
block
cpu_figure block_idle_cpu_pct
"$source_client" measure 200 50 | awk '{ printf "block_exposure_p50_ms %s\nblock_exposure_p90_ms %s\nblock_exposure_max_ms %s\n", $4, $7, $10 }'
