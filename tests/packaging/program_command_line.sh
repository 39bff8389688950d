#!/usr/bin/env bash
# The Linux program's command line: --help and --version need no display, a wrong option is refused
# in one line with status 2, and --echo-log hands each log line to standard output as it is added.
# Usage: program_command_line.sh PATH/TO/zanthrel PATH/TO/with_xvfb.sh VERSION
set -euo pipefail
program=${1:?usage}
with_xvfb=${2:?usage}
version=${3:?usage}
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT

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
"$1" --echo-log >"$2" 2>/dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
deadline=$((SECONDS + 20))
until grep -q '^Clipboard Not Protected' "$2"; do
    kill -0 "$pid" 2>/dev/null || { echo "the program ended" >&2; exit 1; }
    [ $SECONDS -lt $deadline ] || { echo "no log line on standard output within 20 s" >&2; exit 1; }
    sleep 0.05
done
SCRIPT
chmod +x "$work/echo.sh"
"$with_xvfb" "$work/echo.sh" "$program" "$work/echoed" || fail "--echo-log: $(cat "$work/echoed" 2>/dev/null)"
[ "$(head -n1 "$work/echoed")" = "Clipboard Not Protected. Please click the first button to enable the protection." ] ||
    fail "echoed '$(head -n1 "$work/echoed")'"
# A reader that stops reading must not end the guard: the next line goes to a closed pipe.
cat >"$work/reader_gone.sh" <<'SCRIPT'
#!/usr/bin/env bash
set -euo pipefail
mkfifo "$2/fifo"
"$1" --echo-log >"$2/fifo" 2>/dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
head -n1 "$2/fifo" >/dev/null  # reads the first line, then closes the pipe
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n1)
xdotool mousemove --window "$window" 384 207 click 1  # cmdEnableDisable: logs a line, then blocks
# A guard that outlived its log line takes away what another program copies.
echo copied | xclip -selection clipboard -quiet -i >/dev/null 2>&1 &
copier=$!
deadline=$((SECONDS + 10))
while kill -0 "$copier" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || { echo "the program ended when its log reader went away" >&2; exit 1; }
    [ $SECONDS -lt $deadline ] || { kill "$copier"; echo "the clipboard was not blocked" >&2; exit 1; }
    sleep 0.05
done
kill -0 "$pid" 2>/dev/null || { echo "the program ended when its log reader went away" >&2; exit 1; }
SCRIPT
chmod +x "$work/reader_gone.sh"
"$with_xvfb" "$work/reader_gone.sh" "$program" "$work" || fail "--echo-log with a reader that went away"
echo "PASS: --help, --version, a refused option and the log echo"
