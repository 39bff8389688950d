# shellcheck shell=bash
# What the test scripts (and the live benchmarks) share. Source it from a bash script that runs with
# `set -euo pipefail`:
#   source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
#
#   fail MESSAGE...            "FAIL: MESSAGE" on stderr, then what on_failure asked for; exits 1
#   fail_unless_skipped STATUS MESSAGE...
#                              for a command that ended with STATUS: skips as it did (77), or fails
#   on_failure COMMAND...      adds something fail shows, e.g. on_failure show_file "the log" "$work/log"
#   skip MESSAGE...            "SKIPPED: MESSAGE" on stderr; exits 77, which CTest counts as skipped
#   need_tools TOOL...         skips unless every TOOL is installed
#   cleanup COMMAND...         runs COMMAND when the script ends, however it ends, the latest first
#   stop_process PID...        ends processes this script started and waits for them
#   stop_listed ARRAY          stop_process for the PIDs in the array named ARRAY as it is then, e.g.
#                              cleanup stop_listed pids
#   process_ended PID          true once the process has ended
#   quietly COMMAND...         runs COMMAND with its output thrown away
#   make_work_dir VAR [NAME]   a new private folder in $VAR, removed when the script ends
#   usage ARGUMENTS            "usage: SCRIPT ARGUMENTS" on stderr; exits 2
#   wait_for SECONDS COMMAND...
#                              runs COMMAND every 50 ms until it succeeds; false once SECONDS (whole)
#                              have passed. They are a limit for giving up, never what a test asserts.
#
# Clean-up actions and failure reports belong to the shell that registered them: one made inside $(...)
# or ( ... ) is lost with that subshell. Nested scripts find this file in $ZANTHREL_TEST_LIB.

ZANTHREL_TEST_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/test_lib.sh
export ZANTHREL_TEST_LIB

_zanthrel_cleanups=()
_zanthrel_failure_reports=()

fail() {
    echo "FAIL: $*" >&2
    local report
    for report in "${_zanthrel_failure_reports[@]}"; do eval "$report" >&2 || true; done
    exit 1
}

fail_unless_skipped() {
    [ "$1" -ne 77 ] || exit 77
    shift
    fail "$@"
}

on_failure() {
    _zanthrel_failure_reports+=("$(printf '%q ' "$@")")
}

# Prints FILE under a title, for on_failure.
show_file() {
    echo "--- $1:"
    cat "$2" 2>/dev/null || true
}

skip() {
    echo "SKIPPED: $*" >&2
    exit 77
}

need_tools() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps linux)"
    done
}

cleanup() {
    _zanthrel_cleanups+=("$(printf '%q ' "$@")")
}

_zanthrel_run_cleanups() {
    local i
    for ((i = ${#_zanthrel_cleanups[@]} - 1; i >= 0; i--)); do eval "${_zanthrel_cleanups[i]}" || true; done
}
trap _zanthrel_run_cleanups EXIT
# A script ended by a signal (CTest's timeout, Ctrl-C) still cleans up: exit runs the EXIT trap.
trap 'exit 130' INT
trap 'exit 143' TERM

stop_process() {
    local pid
    for pid; do
        # A process already waited for may have left its number to another program's.
        _zanthrel_is_child "$pid" || continue
        # A stopped process acts on SIGTERM only once it runs again.
        kill -TERM "$pid" 2>/dev/null && kill -CONT "$pid" 2>/dev/null || true
    done
    for pid; do wait "$pid" 2>/dev/null || true; done
}

stop_listed() {
    local -n _zanthrel_listed=$1
    stop_process "${_zanthrel_listed[@]}"
}

quietly() {
    "$@" >/dev/null 2>&1
}

process_ended() {
    ! kill -0 "$1" 2>/dev/null
}

_zanthrel_is_child() {
    local stat
    { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 1
    # The fields after the command's name, which is in parentheses and may hold anything: state, parent.
    read -r -a stat <<<"${stat##*) }"
    [ "${stat[1]}" = "$$" ]
}

make_work_dir() {
    local _zanthrel_dir
    _zanthrel_dir=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-${2:-$(basename "$0" .sh)}.XXXXXX")
    cleanup rm -rf "$_zanthrel_dir"
    printf -v "$1" '%s' "$_zanthrel_dir"
}

usage() {
    echo "usage: $0 $*" >&2
    exit 2
}

wait_for() {
    local deadline=$((${EPOCHREALTIME/[.,]/} + $1 * 1000000))
    shift
    until "$@"; do
        [ "${EPOCHREALTIME/[.,]/}" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}
