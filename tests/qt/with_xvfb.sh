#!/usr/bin/env bash
# Runs a command on a private Xvfb display and stops the server afterwards.
# Usage: with_xvfb.sh COMMAND [ARGS...]
# The server picks a free display number itself and reports it once it accepts connections
# (-displayfd), so nothing here guesses numbers or sleeps.
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi
command -v Xvfb >/dev/null || { echo "with_xvfb: Xvfb is not installed (scripts/deps linux)" >&2; exit 1; }

workdir=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-xvfb.XXXXXX")
xvfb_pid=""
command_pid=""
cleanup() {
    # A test stopped by CTest's timeout must not outlive the server it ran on.
    for pid in $command_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 143' INT TERM

mkfifo "$workdir/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset \
    3>"$workdir/displayfd" </dev/null >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!

display=""
if ! read -r -t 20 display <"$workdir/displayfd" || [ -z "$display" ]; then
    echo "with_xvfb: Xvfb did not report a display within 20 s; its log:" >&2
    cat "$workdir/xvfb.log" >&2
    exit 1
fi

export DISPLAY=":$display"
unset WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$workdir"
export XAUTHORITY="$workdir/none"
"$@" </dev/null &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=""
exit "$status"
