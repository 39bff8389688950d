#!/usr/bin/env bash
# The Linux program's command line: --help and --version need no display, a wrong option is refused
# in one line with status 2, and --echo-log hands each log line to standard output as it is added.
# Usage: program_command_line.sh PATH/TO/zanthrel PATH/TO/with_xvfb.sh VERSION
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
program=${1:?usage}
with_xvfb=${2:?usage}
version=${3:?usage}
make_work_dir work

# No display at all: these must not need one.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] || fail "--version exited with $status: $(cat "$work/err")"
[ "$(cat "$work/out")" = "zanthrel $version" ] || fail "--version printed '$(cat "$work/out")'"
env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help >"$work/out" 2>"$work/err" || fail "--help failed"
grep -q -- '--echo-log' "$work/out" || fail "--help does not list --echo-log"

status=0
env -u DISPLAY "$program" --frobnicate >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option exited with $status, expected 2"
[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q -- "'--frobnicate'" "$work/err" || fail "error was: $(cat "$work/err")"
[ ! -s "$work/out" ] || fail "an unknown option printed to standard output"

# The echo, read through a pipe as a benchmark reads it: the first line arrives while the program runs.
cat >"$work/echo.sh" <<'SCRIPT'
#!/usr/bin/env bash
set -euo pipefail
source "$ZANTHREL_TEST_LIB"
program=$1 echoed=$2
"$program" --echo-log >"$echoed" 2>/dev/null &
pid=$!
cleanup stop_process "$pid"
logged() {
    process_ended "$pid" && fail "the program ended"
    grep -q '^Clipboard Not Protected' "$echoed"
}
wait_for 20 logged || fail "no log line on standard output within 20 s"
SCRIPT
chmod +x "$work/echo.sh"
"$with_xvfb" "$work/echo.sh" "$program" "$work/echoed" ||
    fail_unless_skipped $? "--echo-log: $(cat "$work/echoed" 2>/dev/null)"
[ "$(head -n1 "$work/echoed")" = "Clipboard Not Protected. Please click the first button to enable the protection." ] ||
    fail "echoed '$(head -n1 "$work/echoed")'"
# A reader that stops reading must not end the guard: the next line goes to a closed pipe.
cat >"$work/reader_gone.sh" <<'SCRIPT'
#!/usr/bin/env bash
set -euo pipefail
source "$ZANTHREL_TEST_LIB"
program=$1 work=$2
mkfifo "$work/fifo"
"$program" --echo-log >"$work/fifo" 2>/dev/null &
pid=$!
cleanup stop_process "$pid"
head -n1 "$work/fifo" >/dev/null  # reads the first line, then closes the pipe
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n1)
xdotool mousemove --window "$window" 384 207 click 1  # cmdEnableDisable: logs a line, then blocks
# A guard that outlived its log line takes away what another program copies.
echo copied | xclip -selection clipboard -quiet -i >/dev/null 2>&1 &
copier=$!
cleanup stop_process "$copier"
emptied() {
    process_ended "$pid" && fail "the program ended when its log reader went away"
    process_ended "$copier"
}
wait_for 20 emptied || fail "the clipboard was not blocked"
if process_ended "$pid"; then fail "the program ended when its log reader went away"; fi
SCRIPT
chmod +x "$work/reader_gone.sh"
"$with_xvfb" "$work/reader_gone.sh" "$program" "$work" || fail_unless_skipped $? "--echo-log with a reader that went away"
echo "PASS: --help, --version, a refused option and the log echo"
