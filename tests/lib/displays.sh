# shellcheck shell=bash
# Private display servers for the tests, each stopped when the script that started it ends. Sourcing
# this file sources test_lib.sh too.
#   start_xvfb [XVFB_OPTION...]  an Xvfb; sets DISPLAY (and a private XDG_RUNTIME_DIR) and xvfb_pid
#   start_sway                    a headless sway with XWayland; sets WAYLAND_DISPLAY, SWAYSOCK, DISPLAY
#   start_mutter                  a headless mutter with XWayland, on a session bus of its own, with a
#                                 virtual keyboard; sets WAYLAND_DISPLAY, DISPLAY, XAUTHORITY
#   start_kwin                    a headless KWin (KDE) with XWayland, on a session bus of its own; sets
#                                 WAYLAND_DISPLAY and DISPLAY
#   start_wine_desktop            a fresh Wine prefix with a virtual desktop on that Xvfb; sets WINEPREFIX
#   run_command COMMAND...        runs COMMAND beside them and exits with its status
# A tool that is not installed skips the test (77) on every server. A server that does not come up
# fails it, except mutter and KWin, which cannot run in every container and then skip, saying why.
# shellcheck source=test_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/test_lib.sh"

start_xvfb() {
    need_tools Xvfb
    local work display=""
    make_work_dir work xvfb
    # The server picks a free display number itself and reports it once it accepts connections, so
    # nothing here guesses numbers or polls.
    mkfifo "$work/displayfd"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset "$@" \
        3>"$work/displayfd" </dev/null >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    cleanup stop_process "$xvfb_pid"
    on_failure show_file "Xvfb's log" "$work/xvfb.log"
    if ! read -r -t 20 display <"$work/displayfd" || [ -z "$display" ]; then
        fail "Xvfb did not report a display within 20 s"
    fi
    export DISPLAY=":$display" XDG_RUNTIME_DIR="$work" XAUTHORITY="$work/none"
    unset WAYLAND_DISPLAY
}

# Sway refuses to run as root, so it runs as an unprivileged user made for the tests; root's clients
# reach its Wayland socket anyway, and its X server lets them in by name. Without root the test skips.
start_sway() {
    need_tools sway Xwayland xhost runuser
    [ "$(id -u)" -eq 0 ] || skip "sway needs a user of its own, which only root can run it as"
    local user=zanthrel-test work runtime sway_pid
    if ! id "$user" >/dev/null 2>&1; then
        # Two tests may get here at once: the loser's failure is fine if the user now exists.
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" 2>/dev/null ||
            id "$user" >/dev/null
    fi
    make_work_dir work sway
    chmod 755 "$work"
    runtime="$work/runtime"
    mkdir -m 700 "$runtime" "$work/root-runtime"
    chown "$user" "$runtime"
    # The X display sway gives its clients is written out for the command; XWayland starts with sway.
    cat >"$work/config" <<CONFIG
xwayland force
output HEADLESS-1 resolution 1280x800 position 0 0
exec sh -c 'echo "\$DISPLAY" >$runtime/display.tmp && mv $runtime/display.tmp $runtime/display'
CONFIG
    chmod 644 "$work/config"
    runuser -u "$user" -- env -i PATH="$PATH" HOME="$runtime" XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
        WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$work/config" </dev/null >"$work/sway.log" 2>&1 &
    sway_pid=$!
    cleanup stop_process "$sway_pid"
    on_failure show_file "sway's log" "$work/sway.log"
    wait_for 20 _zanthrel_sway_up "$runtime" "$sway_pid" || fail "sway did not come up within 20 s"
    local socket
    socket=$(compgen -G "$runtime/wayland-*.lock" | head -n1)
    export WAYLAND_DISPLAY="${socket%.lock}"
    SWAYSOCK=$(compgen -G "$runtime/sway-ipc.*.sock" | head -n1)
    DISPLAY=$(cat "$runtime/display")
    export SWAYSOCK DISPLAY XDG_RUNTIME_DIR="$work/root-runtime" XAUTHORITY="$work/none"
    wait_for 20 runuser -u "$user" -- env DISPLAY="$DISPLAY" xhost +si:localuser:root >/dev/null 2>&1 ||
        fail "XWayland on $DISPLAY did not answer within 20 s"
}

_zanthrel_sway_up() {
    local runtime=$1 pid=$2
    kill -0 "$pid" 2>/dev/null || fail "sway ended as it started"
    [ -s "$runtime/display" ] && compgen -G "$runtime/wayland-*.lock" >/dev/null &&
        compgen -G "$runtime/sway-ipc.*.sock" >/dev/null
}

start_mutter() {
    need_tools mutter Xwayland dbus-daemon xdpyinfo wl-copy wl-paste
    /usr/bin/python3 -c 'import dbus' 2>/dev/null || skip "python3-dbus is not installed (scripts/deps linux)"
    _zanthrel_x11_socket_dir
    local work
    make_work_dir work mutter
    export XDG_RUNTIME_DIR="$work"
    unset DISPLAY WAYLAND_DISPLAY XAUTHORITY
    _zanthrel_session_bus "$work" mutter

    mutter --wayland --headless --virtual-monitor 1280x800 --wayland-display zanthrel-wayland \
        </dev/null >"$work/mutter.log" 2>&1 &
    local mutter_pid=$!
    cleanup stop_process "$mutter_pid"
    wait_for 20 _zanthrel_mutter_up "$work" "$mutter_pid" ||
        skip "mutter did not start with XWayland within 20 s; its log: $(cat "$work/mutter.log")"
    DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$work/mutter.log" | head -n1)
    XAUTHORITY=$(find "$work" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n1)
    export DISPLAY XAUTHORITY WAYLAND_DISPLAY=zanthrel-wayland
    wait_for 10 xdpyinfo >/dev/null 2>&1 || skip "XWayland $DISPLAY accepted no client within 10 s"

    # A headless mutter has no keyboard, and Wayland programs without focus cannot copy: a remote-desktop
    # session gives the seat a virtual keyboard, which exists once it has pressed a key. The session lasts
    # as long as the connection that made it.
    /usr/bin/python3 - >"$work/keyboard.log" 2>&1 <<'EOF' &
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
    local keyboard_pid=$!
    cleanup stop_process "$keyboard_pid"
    wait_for 10 _zanthrel_keyboard_ready "$work/keyboard.log" "$keyboard_pid" ||
        skip "no virtual keyboard from mutter: $(cat "$work/keyboard.log")"
}

_zanthrel_mutter_up() {
    local work=$1 pid=$2
    kill -0 "$pid" 2>/dev/null || skip "mutter ended as it started; its log: $(cat "$work/mutter.log")"
    grep -q 'Using public X11 display :' "$work/mutter.log" &&
        [ -n "$(find "$work" -maxdepth 1 -name '.mutter-Xwaylandauth.*')" ] && [ -S "$work/zanthrel-wayland" ]
}

_zanthrel_keyboard_ready() {
    grep -q ready "$1" && return
    kill -0 "$2" 2>/dev/null || skip "no virtual keyboard from mutter: $(cat "$1")"
    false
}

# XWayland puts its socket there, and mutter and KWin refuse a directory not writable by everyone, which
# is how every X server expects it.
_zanthrel_x11_socket_dir() {
    if [ ! -d /tmp/.X11-unix ] || [ "$(stat -c %a /tmp/.X11-unix)" != 1777 ]; then
        [ "$(id -u)" -eq 0 ] || skip "/tmp/.X11-unix is not mode 1777 and only root may change that"
        mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
    fi
}

# The compositor WHO and its clients share a session bus of their own; sets DBUS_SESSION_BUS_ADDRESS.
_zanthrel_session_bus() {
    local work=$1 who=$2
    dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" </dev/null >/dev/null 2>&1 &
    cleanup stop_process "$!"
    wait_for 10 test -s "$work/bus" || skip "no session bus for $who"
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
    export DBUS_SESSION_BUS_ADDRESS
}

# KWin tells its X display only to the programs it starts, so it starts one that writes it down; its
# XWayland lets every local client in. KWin's settings and caches stay in the work folder rather than in
# the home of whoever runs the tests.
start_kwin() {
    need_tools kwin_wayland Xwayland dbus-daemon xdpyinfo
    _zanthrel_x11_socket_dir
    local work
    make_work_dir work kwin
    export XDG_RUNTIME_DIR="$work"
    unset DISPLAY WAYLAND_DISPLAY XAUTHORITY
    _zanthrel_session_bus "$work" KWin
    mkdir "$work/config" "$work/cache" "$work/data"
    # The installed program carries a file capability (to raise its own limits), with which it cannot be
    # started where that capability cannot be granted, in a container say; a copy carries none.
    cp "$(command -v kwin_wayland)" "$work/kwin_wayland"
    printf '#!/bin/sh\necho "$DISPLAY" >"%s/display.tmp" && mv "%s/display.tmp" "%s/display"\n' \
        "$work" "$work" "$work" >"$work/announce"
    chmod 755 "$work/announce"
    XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" \
        "$work/kwin_wayland" --virtual --width 1280 --height 800 --xwayland --no-lockscreen \
        --socket zanthrel-wayland "$work/announce" </dev/null >"$work/kwin.log" 2>&1 &
    local kwin_pid=$!
    cleanup stop_process "$kwin_pid"
    wait_for 30 _zanthrel_kwin_up "$work" "$kwin_pid" ||
        skip "KWin did not start with XWayland within 30 s; its log: $(cat "$work/kwin.log")"
    DISPLAY=$(cat "$work/display")
    export DISPLAY WAYLAND_DISPLAY=zanthrel-wayland
    wait_for 10 xdpyinfo >/dev/null 2>&1 || skip "XWayland $DISPLAY accepted no client within 10 s"
}

_zanthrel_kwin_up() {
    local work=$1 pid=$2
    kill -0 "$pid" 2>/dev/null || skip "KWin ended as it started; its log: $(cat "$work/kwin.log")"
    [ -s "$work/display" ] && [ -S "$work/zanthrel-wayland" ]
}

run_command() {
    "$@" </dev/null &
    local pid=$! status=0
    # A test stopped by CTest's timeout must not outlive the server it ran on.
    cleanup stop_process "$pid"
    wait "$pid" || status=$?
    exit "$status"
}

# A fresh Wine prefix on the display start_xvfb made, with a virtual desktop of a known size (every
# window gets a title bar drawn by Wine, as on Windows) and one Wine server for the whole script rather
# than one started and stopped per program; the server is ended when the script ends. Sets WINEPREFIX.
start_wine_desktop() {
    need_tools wine wineboot wineserver
    local work
    make_work_dir work wine
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts in a fresh prefix
    cleanup quietly wineserver -k
    on_failure show_file "wineboot's output" "$work/wineboot.log"
    wineboot --init </dev/null >"$work/wineboot.log" 2>&1 || fail "wineboot could not make a prefix"
    wineserver -w
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
    wineserver -w
    wineserver -p
}
