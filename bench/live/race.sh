#!/usr/bin/env bash
# One run of the races against the Linux program, on the desktop the wrapper started (called by races.sh):
# another program copies "secret1" ... "secret15" 300 ms apart while a spy reads the clipboard the instant
# it hears of a change. Prints one `name value unit` line per figure; nothing is judged here.
#   <desktop>_control_spy_texts        texts the spy got while the guard runs without blocking
#   <desktop>_blocked_spy_texts        the same while blocking
#   kwin_{control,blocked}_x11_spy_texts
#                                      the same for an X11 spy on XWayland beside the data-control spy,
#                                      while an X11 window (the guard's) has the focus, without which KWin
#                                      shows X11 programs no clipboard at all
#   <desktop>_primary_spy_texts        texts copied to PRIMARY (select, middle-click) a spy got while blocking
#   <desktop>_primary_left             1 when a paste of PRIMARY gave the last text while it was offered
#   <desktop>_exposure_{p50,p90}_ms, <desktop>_exposure_spy_{p50,p90}_ms (x11, sway, kwin)
#                                      how long a copy stays while blocking, without and with a spy
#   <desktop>_fighter_cpu_pct          the guard's CPU while a program takes the clipboard back at once
#                                      after every emptying (x11, sway, kwin), its takings per second, and the
#   <desktop>_contested_lines          log lines that said so
# On sway and KWin the spy, the copier and the fighter are data-control clients, as the guard is.
# Usage: race.sh x11|sway|kwin|mutter PROGRAM X11_RACE_CLIENT WAYLAND_TEST_SOURCE LIVE_TOOL X11_PROBE
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/lib/test_lib.sh"

desktop=${1:?desktop}
program=${2:?program}
x11_client=${3:?x11_race_client}
wayland_source=${4:?wayland_test_source}
live=${5:?live tool}
x11_probe=${6:?x11 probe}
texts=15
spacing_ms=300
data_control=false
case $desktop in sway | kwin) data_control=true ;; esac

make_work_dir work race
program_pid=""
helper_pid=""
cleanup stop_program
cleanup stop_helper

say() { echo "live: $*" >&2; }
on_failure say "the run on $desktop failed"
figure() { echo "${desktop}_$1 $2 $3"; }

# Starts the program with OPTIONS and waits for the log line that says it is ready.
start_program() {
    local ready=$1
    shift
    "$program" --echo-log "$@" >"$work/log" 2>"$work/program.err" </dev/null &
    program_pid=$!
    wait_for 20 program_logged "$ready" || fail "no log line \"$ready\" within 20 s: $(cat "$work/program.err")"
    sleep 0.5  # the reader's thread is watching once the window is up; give it the moment anyway
}
program_logged() {
    grep -q -F -- "$1" "$work/log" && return
    process_ended "$program_pid" && fail "the program ended: $(cat "$work/program.err")"
    false
}
stop_program() {
    [ -z "$program_pid" ] || stop_process "$program_pid"
    program_pid=""
}

# Waits until FILE has a line PATTERN, for SECONDS at most; says WHAT failed otherwise.
wait_for_line() {
    wait_for "$3" grep -q -- "$1" "$2" || fail "$4"
}

# Starts a spy on SELECTION for SECONDS, its output in FILE, and waits until it watches: the desktop's own
# kind of spy, or with KIND x11 one on XWayland.
start_spy() {
    local selection=$1 seconds=$2 file=$3 kind=${4:-}
    if $data_control && [ "$kind" != x11 ]; then
        "$wayland_source" spy "$selection" "$seconds" >"$file" &
    else
        "$x11_client" spy "$selection" "$seconds" >"$file" &
    fi
    helper_pid=$!
    wait_for_line '^ready$' "$file" 10 "the spy did not start"
}
# Not stop_process: inside $(race ...) the spy is the subshell's child, which stop_process would pass over.
stop_helper() {
    [ -n "$helper_pid" ] || return 0
    kill "$helper_pid" 2>/dev/null || true
    wait "$helper_pid" 2>/dev/null || true
    helper_pid=""
}

# Copies the texts into SELECTION as the desktop's own programs do.
copy_texts() {
    local selection=$1
    case $desktop in
    x11) "$x11_client" copy "$selection" "$texts" "$spacing_ms" ;;
    sway | kwin) "$wayland_source" copy "$selection" "$texts" "$spacing_ms" ;;
    mutter)
        # wl-copy is a native Wayland program: mutter's bridge hands its copy to X11 clients.
        local flag=() i
        [ "$selection" = primary ] && flag=(--primary)
        for i in $(seq "$texts"); do
            wl-copy "${flag[@]}" -- "secret$i"
            echo "copied $i"
            sleep "$(awk -v ms="$spacing_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
        done
        ;;
    esac
}

# The spy's score: how many different secrets it read (KIND: as for start_spy). What a paste finds while the
# last copy is still offered goes to $work/left.
race() {
    local selection=$1 kind=${2:-} copier
    start_spy "$selection" $((texts * spacing_ms / 1000 + 10)) "$work/spy" "$kind"
    copy_texts "$selection" >"$work/copies" &
    copier=$!
    wait_for_line "^copied $texts\$" "$work/copies" 30 "the copies did not come to an end"
    sleep 0.1
    left_on "$selection" >"$work/left"
    wait "$copier" || fail "the copier failed"
    sleep 0.5  # a transfer begun at the last copy may still be on its way
    stop_helper
    grep '^got secret[0-9]*$' "$work/spy" | sort -u | wc -l
}

# What a paste of SELECTION finds now: 1 when it gives the last secret.
left_on() {
    local selection=$1 text
    case $desktop in
    # wl-paste finds no PRIMARY on KWin, which names none to a new client while there is none.
    sway | kwin) text=$(timeout 5 "$wayland_source" paste "$selection" 2>/dev/null | sed -n 's/^got //p' || true) ;;
    *) text=$(timeout 2 xclip -o -selection "$selection" 2>/dev/null || true) ;;
    esac
    [ "$text" = "secret$texts" ] && echo 1 || echo 0
}

exposure() {
    local name=$1
    case $desktop in
    x11)
        "$x11_probe" exposure 100 50 |
            awk -v d="$desktop" -v n="$name" '$1 == "block_exposure_median_ms" { print d "_" n "_p50_ms " $2 " ms" }
                                               $1 == "block_exposure_p90_ms" { print d "_" n "_p90_ms " $2 " ms" }'
        ;;
    sway | kwin)
        "$wayland_source" measure 100 50 |
            awk -v d="$desktop" -v n="$name" '{ print d "_" n "_p50_ms " $4 " ms"; print d "_" n "_p90_ms " $7 " ms" }'
        ;;
    esac
}

# On KWin the X11 spy races too, once the guard's window (on XWayland) has the focus.
x11_spy_race() {
    [ "$desktop" = kwin ] || return 0
    "$(dirname "${BASH_SOURCE[0]}")/../../tests/wayland/kwin_focus.sh" Zanthrel >&2 || fail "no X11 window has the focus"
    figure "$1_x11_spy_texts" "$(race clipboard x11)" "of_$texts"
}

say "$desktop: load average $(cut -d' ' -f1-3 /proc/loadavg)"
start_program "Clipboard Not Protected"
figure control_spy_texts "$(race clipboard)" "of_$texts"
x11_spy_race control
stop_program

start_program "Clipboard Blocked" --block
figure blocked_spy_texts "$(race clipboard)" "of_$texts"
x11_spy_race blocked
figure primary_spy_texts "$(race primary)" "of_$texts"
figure primary_left "$(cat "$work/left")" text
if [ "$desktop" != mutter ]; then
    exposure exposure
    start_spy clipboard 60 "$work/spy"
    exposure exposure_spy
    stop_helper

    if $data_control; then
        "$wayland_source" fight 12 >"$work/fight" &
    else
        "$x11_client" fight 12 >"$work/fight" &
    fi
    helper_pid=$!
    sleep 1
    while read -r label best _; do
        [ "$label" = program ] && figure fighter_cpu_pct "$best" %
    done < <("$live" cpu 10 "program=$program_pid")
    wait "$helper_pid" || fail "the fighter failed"
    helper_pid=""
    figure fighter_takings_per_s "$(awk '/^retaken/ { printf "%.0f", $2 / 12 }' "$work/fight")" /s
    figure contested_lines "$(grep -c -F 'Taken Back Again and Again' "$work/log" || true)" lines
fi
stop_program
