#!/usr/bin/env bash
# Runs a command as an X client of GNOME's compositor: a private headless mutter with its XWayland
# bridge, and a Wayland display for wl-copy and wl-paste. Stops everything afterwards.
# Usage: with_mutter.sh COMMAND [ARGS...]
# Exits 77 (a skipped test for CTest) when mutter cannot be started here, saying why.
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi
skip() {
    echo "SKIPPED: headless mutter cannot run here: $*" >&2
    exit 77
}
for tool in mutter Xwayland dbus-run-session wl-copy wl-paste; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps linux)"
done
/usr/bin/python3 -c 'import dbus' 2>/dev/null || skip "python3-dbus is not installed (scripts/deps linux)"

# mutter and its clients share a session bus of their own.
if [ -z "${ZANTHREL_MUTTER_BUS:-}" ]; then
    exec dbus-run-session -- env ZANTHREL_MUTTER_BUS=1 "$0" "$@"
fi

# XWayland puts its socket there and mutter refuses a directory not writable by everyone, which is
# how every X server expects it.
if [ ! -d /tmp/.X11-unix ] || [ "$(stat -c %a /tmp/.X11-unix)" != 1777 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
    else
        skip "/tmp/.X11-unix is not mode 1777 and only root may change that"
    fi
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/zanthrel-mutter.XXXXXX")
chmod 700 "$workdir"
mutter_pid=""
keyboard_pid=""
command_pid=""
cleanup() {
    for pid in $command_pid $keyboard_pid $mutter_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 143' INT TERM

export XDG_RUNTIME_DIR="$workdir"
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY
mutter --wayland --headless --virtual-monitor 1280x800 --wayland-display zanthrel-wayland \
    </dev/null >"$workdir/mutter.log" 2>&1 &
mutter_pid=$!

display=""
for _ in $(seq 200); do
    kill -0 "$mutter_pid" 2>/dev/null || break
    display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$workdir/mutter.log" | head -n1)
    auth=$(find "$workdir" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n1)
    [ -n "$display" ] && [ -n "$auth" ] && [ -S "$workdir/zanthrel-wayland" ] && break
    display=""
    sleep 0.1
done
[ -n "$display" ] || skip "mutter did not start with XWayland within 20 s; its log: $(cat "$workdir/mutter.log")"
export DISPLAY="$display" XAUTHORITY="$auth" WAYLAND_DISPLAY=zanthrel-wayland
for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || skip "XWayland $DISPLAY accepted no client within 10 s"

# A headless mutter has no keyboard, and Wayland programs without focus cannot copy: a remote-desktop
# session gives the seat a virtual keyboard, which exists once it has pressed a key. The session lasts
# as long as the connection that made it.
/usr/bin/python3 - >"$workdir/keyboard.log" 2>&1 <<'EOF' &
import sys, time, dbus
bus = dbus.SessionBus()
name = 'org.gnome.Mutter.RemoteDesktop'
path = bus.get_object(name, '/org/gnome/Mutter/RemoteDesktop').CreateSession(dbus_interface=name)
session = dbus.Interface(bus.get_object(name, path), name + '.Session')
session.Start()
shift = 0xffe1
session.NotifyKeyboardKeysym(shift, True)
session.NotifyKeyboardKeysym(shift, False)
print('ready', flush=True)
while True:
    time.sleep(60)
EOF
keyboard_pid=$!
for _ in $(seq 100); do
    grep -q ready "$workdir/keyboard.log" && break
    kill -0 "$keyboard_pid" 2>/dev/null || break
    sleep 0.1
done
grep -q ready "$workdir/keyboard.log" || skip "no virtual keyboard from mutter: $(cat "$workdir/keyboard.log")"

"$@" </dev/null &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=""
exit "$status"
