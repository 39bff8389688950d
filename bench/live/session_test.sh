#!/usr/bin/env bash
# A short live session against the real Linux program (1 s per CPU figure, six pictures): every figure
# comes out, every text copied while blocking is taken away, every picture copied while monitoring is
# detected, and the program is started again after each alarm. No figure's size is judged here.
# Usage (on an X display, e.g. through with_xvfb.sh): session_test.sh PROGRAM LIVE_TOOL X11_PROBE
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tests/lib/test_lib.sh"

output=$(ZANTHREL_LIVE_CPU_SECONDS=1 ZANTHREL_LIVE_COPIES=6 ZANTHREL_LIVE_PICTURE=320x200 \
    "$here/session.sh" linux "$@" 2>&1) || fail "the session failed: $output"
echo "$output"

value() { sed -n "s/^$1 \([0-9.]*\) .*/\1/p" <<<"$output"; }
for name in monitor_idle_cpu_pct monitor_idle_picture_cpu_pct block_idle_cpu_pct block_exposure_median_ms \
    block_exposure_p90_ms block_exposure_max_ms detect_latency_median_ms detect_latency_p90_ms \
    detect_latency_max_ms; do
    [ -n "$(value "$name")" ] || fail "no figure $name"
done
[ "$(value block_exposure_kept)" = 0 ] || fail "texts copied while blocking stayed on the clipboard"
[ "$(value detect_missed)" = 0 ] || fail "pictures copied while monitoring went undetected"
grep -q '^detect_missed 0 of \([6-9]\|[1-9][0-9]\)$' <<<"$output" || fail "fewer than six pictures were watched"
echo "PASS: every figure printed, every text emptied, every picture detected across the alarms"
