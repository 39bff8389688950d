#!/usr/bin/env bash
# scripts/bench --live [--windows]: starts the real program on a private Xvfb (the Windows program under
# Wine in a fresh prefix), works it from outside and prints what it costs and how fast it reacts:
#   monitor_idle_cpu_pct, block_idle_cpu_pct   CPU over 10 s with the clipboard untouched, % of one core
#   block_exposure_{median,p90,max}_ms         how long a text copied by another program stays there
#                                              while blocking (100 copies, 50 ms apart)
#   detect_latency_{median,p90,max}_ms         from a picture copied to the log line counting it
#                                              (20 pictures, 300 ms apart, 1 s under Wine, in groups
#                                              that end with the alarm)
#   monitor_held_cpu_pct, held_release_detect_ms (Windows) CPU while another program holds the clipboard
#                                              open for 30 s with a picture it put there, and from its
#                                              release to the log line counting that picture
# then, on Linux, the races of races.sh: what a spy gets of 15 copied texts while blocking, on X11, sway,
# KDE (KWin) and GNOME (mutter), three runs each (--race: only those).
# Builds in build/linux and build/windows unless ZANTHREL_LIVE_LINUX_BUILD / ZANTHREL_LIVE_WINDOWS_BUILD
# name other build directories.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
source tests/lib/displays.sh
linux_build=${ZANTHREL_LIVE_LINUX_BUILD:-build/linux}
windows_build=${ZANTHREL_LIVE_WINDOWS_BUILD:-build/windows}

windows=false
race_only=false
case "${1:-}" in
--windows) windows=true ;;
--race) race_only=true ;;
"") ;;
*)
    echo "usage: scripts/bench --live [--windows|--race]" >&2
    exit 2
    ;;
esac

build_linux() {
    cmake --preset linux -B "$linux_build" >/dev/null
    cmake --build "$linux_build" --target "$@" -j2 >/dev/null ||
        { echo "live: building $* in $linux_build failed" >&2; exit 1; }
}

if ! $windows; then
    scripts/deps live
    build_linux zanthrel zanthrel_live zanthrel_live_x11 x11_race_client wayland_test_source
    command -v xdotool >/dev/null || { echo "live: xdotool is missing (scripts/deps linux)" >&2; exit 1; }
    if ! $race_only; then
        tests/qt/with_xvfb.sh bench/live/session.sh linux "$root/$linux_build/platform/qt/zanthrel" \
            "$root/$linux_build/bench/live/zanthrel_live" "$root/$linux_build/bench/live/zanthrel_live_x11"
    fi
    exec bench/live/races.sh "$root/$linux_build"
fi

scripts/deps windows
build_linux zanthrel_live
cmake --preset windows -B "$windows_build" >/dev/null
cmake --build "$windows_build" --target zanthrel zanthrel_live_probe -j2 >/dev/null ||
    { echo "live: building zanthrel.exe and its probe in $windows_build failed" >&2; exit 1; }

# A fresh prefix and a private Xvfb, as the Windows tests use them.
start_xvfb
echo "live: creating a fresh Wine prefix" >&2
start_wine_desktop

# ZANTHREL_LIVE_WINDOWS_PROGRAM measures another zanthrel.exe (an older build, say) with the same probes.
bench/live/session.sh windows "${ZANTHREL_LIVE_WINDOWS_PROGRAM:-$root/$windows_build/bin/zanthrel.exe}" \
    "$root/$linux_build/bench/live/zanthrel_live" \
    "$root/$windows_build/bin/zanthrel_live_probe.exe" "$xvfb_pid"
