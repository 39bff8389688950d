#!/usr/bin/env bash
# Runs the system-log case of zanthrel_shell_test with Wine's debug output in a file that the case
# reads: Wine writes a program's debug channels to the Unix standard error it inherited, which the
# Windows pipes a test gives the program do not replace. Runs in the prefix scripts/test-windows made.
# Usage: system_log_test.sh PATH/TO/zanthrel_shell_test.exe
set -uo pipefail
shell_test=${1:?usage}
[ -n "${WINEPREFIX:-}" ] || { echo "set WINEPREFIX (scripts/test-windows does)" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-eventlog.XXXXXX")
trap 'rm -rf "$work"' EXIT
: >"$work/debug"
debug_file=$(winepath -w "$work/debug" 2>/dev/null </dev/null)
# Files, not pipes, for the output: Wine's background processes would hold a pipe open.
ZANTHREL_WINE_DEBUG=$debug_file WINEDEBUG=-all wine "$shell_test" system-log </dev/null >"$work/out" 2>"$work/debug"
status=$?
cat "$work/out"
grep -v -e 'fixme:advapi:' -e ':eventlog:' "$work/debug" >&2
exit "$status"
