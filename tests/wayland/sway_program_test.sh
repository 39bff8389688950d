#!/usr/bin/env bash
# Drives the shipped program on a headless sway (through with_sway.sh) with native Wayland programs as
# the others: wl-clipboard, and wayland_test_source for an owner that never delivers (xclip for X11). The program must
# watch the Wayland clipboard itself, since sway hands an X11 program the clipboard only while one of
# its windows has the focus.
# Usage: with_sway.sh sway_program_test.sh PATH/TO/zanthrel PATH/TO/wayland_test_source
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"

program=${1:?usage: $0 PATH/TO/zanthrel PATH/TO/wayland_test_source}
source_client=${2:?usage: $0 PATH/TO/zanthrel PATH/TO/wayland_test_source}
make_work_dir workdir
on_failure show_file "the program's log" "$workdir/log"
pids=()
cleanup stop_listed pids

count() { grep -c -- "^$1" "$workdir/log" || true; }
at_least() { [ "$(count "$2")" -ge "$1" ]; }
# Waits until the log holds `want` lines starting with `prefix`; false after 20 s.
await() { wait_for 20 at_least "$1" "$2"; }
captures() { count "New Screen Capture Detected on "; }
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
start_stop() { click 384 89; }  # the middle of cmdStartPause: 450, 1035, 10590 x 600 twips
copy_png() { wl-copy --type image/png <"$1"; }

convert -size 24x24 xc:red "$workdir/red.png"
convert -size 24x24 xc:blue "$workdir/blue.png"
convert -size 24x24 xc:green "$workdir/green.png"
# A PNG whose header announces 9000 x 9000 pixels: beyond what is decoded, so judged by its digest.
printf '\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x23\x28\x00\x00\x23\x28\x08\x02\x00\x00\x00\xe2\xb7\xe5\xed\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82' \
    >"$workdir/huge.png"

"$program" --echo-log >"$workdir/log" 2>"$workdir/stderr" &
pids+=($!)
program_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n1) ||
    fail "no window named Zanthrel appeared; stderr: $(cat "$workdir/stderr")"

# A tiling compositor leaves the window floating at the size of its layout.
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 773 ] && [ "$HEIGHT" = 570 ] || fail "client area is ${WIDTH}x${HEIGHT} on sway, expected 773x570"

start_stop
await 1 "Protection Started on " || fail "monitoring did not start"
copy_png "$workdir/red.png"
await 1 "New Screen Capture Detected on " || fail "a picture copied by a Wayland program was not counted"

# Focus moving between an X11 window and the program, with nothing copied, is no capture.
display -title other -size 64x64 xc:white &
pids+=($!)
timeout 10 xdotool search --sync --onlyvisible --name '^other$' >/dev/null || fail "the other window did not appear"
for _ in 1 2 3 4 5 6; do
    swaymsg -q '[title="^other$"] focus'
    sleep 0.05
    swaymsg -q '[title="^Zanthrel$"] focus'
    sleep 0.05
done

copy_png "$workdir/huge.png"
await 2 "New Screen Capture Detected on " || fail "a picture beyond the decoding bound was not counted"
# The same data copied again, by an owner that says when the program has read it.
"$source_client" serve 20 "$workdir/huge.png" >"$workdir/same" &
pids+=($!)
wait_for 20 grep -qx sent "$workdir/same" || fail "the program did not read the same picture copied again"

# An owner that offers a picture and never writes it: said once, and the window keeps answering.
"$source_client" silent 20 >"$workdir/silent" &
silent_pid=$!
pids+=($silent_pid)
await 1 "Clipboard Owner Did Not Deliver Its Picture in Time" || fail "the silent owner was not logged"
# What the program read before the silent owner's offer was judged before its silence: the focus
# switches and the same data copied again counted nothing.
[ "$(captures)" = 2 ] || fail "focus switches or the same data copied again counted as captures: $(captures) in all"
start_stop
await 1 "Protection Stopped on " || fail "a click went unanswered while the owner stayed silent"
start_stop
await 2 "Protection Started on " || fail "monitoring did not start again"

# The next copy replaces the silent owner and is counted: the reader was not left waiting for it.
copy_png "$workdir/blue.png"
await 3 "New Screen Capture Detected on " || fail "the picture after the silent owner was not counted"
wait_for 20 process_ended "$silent_pid" || fail "the silent owner kept the clipboard"
[ "$(grep -cx asked "$workdir/silent")" = 1 ] || fail "the silent owner was asked $(grep -cx asked "$workdir/silent") times"
[ "$(count "Clipboard Owner Did Not Deliver")" = 1 ] || fail "the silent owner was logged more than once"
copy_png "$workdir/green.png"
await 1 "Too Many Screen Captures Detected" || fail "four captures raised no alarm"
await 1 "Clipboard Blocked - Action Started on " || fail "the alarm did not block the clipboard"
[ "$(captures)" = 4 ] || fail "expected 4 captures, the log has $(captures)"

# Blocking: what a Wayland or an X11 program copies is gone before another can paste it.
for kind in text picture x11; do
    case $kind in
        text) echo "copied by another program" | wl-copy --foreground & ;;
        picture) wl-copy --foreground --type image/png <"$workdir/red.png" & ;;
        x11) xclip -selection clipboard -quiet -t image/png -i "$workdir/red.png" >/dev/null 2>&1 & ;;
    esac
    copy_pid=$!
    pids+=($copy_pid)
    wait_for 20 process_ended "$copy_pid" || fail "wl-copy still owns the clipboard ($kind) 20 s into blocking"
    pasted=$(timeout 2 wl-paste 2>/dev/null | head -c 100 | od -An -c | head -n1 || true)
    [ -z "$pasted" ] || fail "wl-paste still reads the $kind while blocking: $pasted"
    if timeout 2 xclip -selection clipboard -o -t TARGETS >/dev/null 2>&1; then
        fail "an X11 program still finds the $kind on the clipboard while blocking"
    fi
done
kill -0 "$program_pid" 2>/dev/null || fail "the program ended; stderr: $(cat "$workdir/stderr")"
"$source_client" measure 20 | sed 's/^/while blocking, a copy stayed on the clipboard: /'
kill "$program_pid"

# Forced onto a Wayland clipboard it cannot reach, the program says so once instead of watching in vain;
# an unknown service is refused in one line.
WAYLAND_DISPLAY="$workdir/no-such-compositor" "$program" --clipboard=wayland --echo-log >"$workdir/log" 2>/dev/null &
pids+=($!)
await 1 "Clipboard Cannot Be Watched on This Desktop - " || fail "an unreachable clipboard was not logged"
status=0
"$program" --clipboard=kwin >/dev/null 2>"$workdir/refused" || status=$?
[ $status = 2 ] && [ "$(wc -l <"$workdir/refused")" = 1 ] || fail "--clipboard=kwin: status $status, $(cat "$workdir/refused")"

echo "PASS: counted once each, no capture from focus, silent owner logged once, alarm, nothing pasteable"
