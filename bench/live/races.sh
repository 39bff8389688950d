#!/usr/bin/env bash
# The races of race.sh, three runs on each Linux desktop that can be started here: a private Xvfb, a
# headless sway and a headless KWin (KDE; both data-control) and a headless mutter (GNOME, through XWayland). Each run's figures go to
# stderr as they come; stdout gets one line per figure, the worst of the runs first:
#   `name worst unit runs=a,b,c`
# Usage: races.sh BUILD_DIR   (ZANTHREL_LIVE_PROGRAM measures another build of the program,
#                              ZANTHREL_LIVE_RUNS another number of runs, ZANTHREL_LIVE_DESKTOPS fewer)
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
program=${ZANTHREL_LIVE_PROGRAM:-$build/platform/qt/zanthrel}
runs=${ZANTHREL_LIVE_RUNS:-3}
desktops=${ZANTHREL_LIVE_DESKTOPS:-x11 sway kwin mutter}
helpers=("$program" "$build/tests/qt/x11_race_client" "$build/tests/wayland/wayland_test_source"
    "$build/bench/live/zanthrel_live" "$build/bench/live/zanthrel_live_x11")

figures=$(mktemp)
trap 'rm -f "$figures"' EXIT
status=0
for desktop in $desktops; do
    case $desktop in
    x11) wrapper=$root/tests/qt/with_xvfb.sh ;;
    sway) wrapper=$root/tests/wayland/with_sway.sh ;;
    kwin) wrapper=$root/tests/wayland/with_kwin.sh ;;
    mutter) wrapper=$root/tests/qt/with_mutter.sh ;;
    *) echo "races: no desktop $desktop" >&2; exit 2 ;;
    esac
    for run in $(seq "$runs"); do
        echo "live: $desktop, run $run of $runs" >&2
        output=$("$wrapper" "$root/bench/live/race.sh" "$desktop" "${helpers[@]}")
        code=$?
        if [ $code -eq 77 ]; then
            echo "live: $desktop cannot be started here; skipped" >&2
            break
        fi
        [ $code -eq 0 ] || status=1
        echo "$output" >&2
        echo "$output" >>"$figures"
    done
done
# Spy scores, exposure and CPU are all worse when higher: the worst run is the largest value.
awk '{ if (!($1 in worst) || $2 + 0 > worst[$1] + 0) worst[$1] = $2; unit[$1] = $3
       if ($1 in order) runs[$1] = runs[$1] "," $2; else { runs[$1] = $2; order[$1] = ++n; names[n] = $1 } }
     END { for (i = 1; i <= n; i++) print names[i], worst[names[i]], unit[names[i]], "runs=" runs[names[i]] }' "$figures"
echo "live: load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
exit $status
