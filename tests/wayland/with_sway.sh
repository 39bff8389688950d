#!/usr/bin/env bash
# Runs a command as root beside a private headless sway (wlroots) with XWayland, and stops it afterwards.
# Usage: with_sway.sh COMMAND [ARGS...]
# Sway refuses to run as root, so it runs as an unprivileged user made for the tests; root's clients reach
# its Wayland socket anyway, and its X server lets them in by name. The command finds WAYLAND_DISPLAY,
# DISPLAY and SWAYSOCK set.
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi
for tool in sway Xwayland xhost runuser; do
    command -v "$tool" >/dev/null || { echo "with_sway: $tool is not installed (scripts/deps linux)" >&2; exit 1; }
done
# Skipped (77) rather than failed without root: sway needs a user of its own.
[ "$(id -u)" -eq 0 ] || { echo "with_sway: needs root, to run sway as a user of its own; skipped" >&2; exit 77; }

user=zanthrel-test
if ! id "$user" >/dev/null 2>&1; then
    # Two tests may get here at once: the loser's failure is fine if the user now exists.
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" 2>/dev/null ||
        id "$user" >/dev/null
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-sway.XXXXXX")
chmod 755 "$workdir"
sway_pid=""
command_pid=""
cleanup() {
    for pid in $command_pid $sway_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 143' INT TERM

runtime="$workdir/runtime"
mkdir -m 700 "$runtime" "$workdir/root-runtime"
chown "$user" "$runtime"
# The X display sway gives its clients is written out for the command; XWayland starts with sway.
cat >"$workdir/config" <<CONFIG
xwayland force
output HEADLESS-1 resolution 1280x800 position 0 0
exec sh -c 'echo "\$DISPLAY" >$runtime/display.tmp && mv $runtime/display.tmp $runtime/display'
CONFIG
chmod 644 "$workdir/config"

runuser -u "$user" -- env -i PATH="$PATH" HOME="$runtime" XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
    WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$workdir/config" </dev/null >"$workdir/sway.log" 2>&1 &
sway_pid=$!

deadline=$((SECONDS + 20))
until [ -s "$runtime/display" ] && compgen -G "$runtime/wayland-*.lock" >/dev/null &&
    compgen -G "$runtime/sway-ipc.*.sock" >/dev/null; do
    if [ $SECONDS -ge $deadline ] || ! kill -0 "$sway_pid" 2>/dev/null; then
        echo "with_sway: sway did not come up within 20 s; its log:" >&2
        cat "$workdir/sway.log" >&2
        exit 1
    fi
    sleep 0.05
done
socket=$(compgen -G "$runtime/wayland-*.lock" | head -n1)
export WAYLAND_DISPLAY="${socket%.lock}"
export SWAYSOCK=$(compgen -G "$runtime/sway-ipc.*.sock" | head -n1)
export DISPLAY=$(cat "$runtime/display")
export XDG_RUNTIME_DIR="$workdir/root-runtime"
export XAUTHORITY="$workdir/none"
deadline=$((SECONDS + 20))
until runuser -u "$user" -- env DISPLAY="$DISPLAY" xhost +si:localuser:root >/dev/null 2>&1; do
    if [ $SECONDS -ge $deadline ]; then
        echo "with_sway: XWayland on $DISPLAY did not answer within 20 s; sway's log:" >&2
        cat "$workdir/sway.log" >&2
        exit 1
    fi
    sleep 0.05
done

"$@" </dev/null &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=""
exit "$status"
