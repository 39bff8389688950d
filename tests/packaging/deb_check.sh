#!/usr/bin/env bash
# Checks the Debian package CPack built.
#   deb_check.sh lintian PACKAGE            lintian finds no errors and no warnings
#   deb_check.sh metadata PACKAGE           the desktop entry, the autostart entry and the AppStream
#                                           metainfo validate
#   deb_check.sh install-and-start PACKAGE WITH_XVFB
#                                           unpacked into a throwaway root, the program opens its window,
#                                           and what the autostart entry starts is monitoring
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
check=${1:?usage}
deb=${2:?usage}
[ -f "$deb" ] || fail "no package at $deb"

make_work_dir root
dpkg-deb -x "$deb" "$root"
app=io.github.zanthrel.Zanthrel

case "$check" in
lintian)
    command -v lintian >/dev/null || fail "lintian is not installed (scripts/deps linux)"
    # Lintian refuses to run as root without this; the package is only read.
    output=$(lintian --allow-root --fail-on error,warning "$deb" 2>&1) || fail "lintian: $output"
    echo "$output"
    ;;
metadata)
    desktop-file-validate "$root/usr/share/applications/$app.desktop" || fail "desktop-file-validate"
    grep -qx 'Categories=Utility;Security;' "$root/usr/share/applications/$app.desktop" || fail "categories"
    # The "Start protected" action, and the entry the README copies to ~/.config/autostart.
    [ "$(sed -n '/^\[Desktop Action start-protected\]/,$p' \
        "$root/usr/share/applications/$app.desktop" | grep -E '^(Name|Exec)=' | tr '\n' ' ')" = \
        "Name=Start protected Exec=zanthrel --monitor " ] || fail "the Start protected action"
    autostart="$root/usr/share/zanthrel/autostart/$app.desktop"
    desktop-file-validate "$autostart" || fail "desktop-file-validate on the autostart entry"
    grep -qx 'Exec=zanthrel --monitor --minimized' "$autostart" || fail "the autostart entry: $(cat "$autostart")"
    appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
    for size in 16 32 48 64 128 256; do
        icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/$app.png"
        [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "icon $icon is not ${size}x${size}"
    done
    head -n1 "$root/usr/share/doc/zanthrel/copyright" |
        grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' || fail "copyright format"
    # Every library the program needs is a dependency that dpkg-shlibdeps worked out.
    depends=$(dpkg-deb -f "$deb" Depends)
    for library in libqt6widgets6 libqt6gui6 libqt6core6 libxcb1 libc6; do
        grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
    done
    ;;
install-and-start)
    with_xvfb=${3:?usage}
    program="$root/usr/bin/zanthrel"
    [ -x "$program" ] || fail "no /usr/bin/zanthrel in the package"
    "$program" --version | grep -qx "zanthrel $(dpkg-deb -f "$deb" Version)" || fail "version differs from the package's"
    cat >"$root/start.sh" <<'SCRIPT'
#!/usr/bin/env bash
set -euo pipefail
source "$ZANTHREL_TEST_LIB"
"$1" >"$2" 2>&1 &
pid=$!
cleanup stop_process "$pid"
timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' >/dev/null
kill -0 "$pid"
SCRIPT
    chmod +x "$root/start.sh"
    "$with_xvfb" "$root/start.sh" "$program" "$root/program.log" ||
        fail_unless_skipped $? "the unpacked program showed no window: $(cat "$root/program.log" 2>/dev/null)"
    # Logging in, simulated: what the autostart entry starts is monitoring from its first moment.
    read -r -a command <<<"$(sed -n 's/^Exec=//p' "$root/usr/share/zanthrel/autostart/$app.desktop")"
    [ "${command[0]}" = zanthrel ] || fail "the autostart entry starts '${command[0]}'"
    cat >"$root/login.sh" <<'SCRIPT'
#!/usr/bin/env bash
set -euo pipefail
source "$ZANTHREL_TEST_LIB"
log=$1
shift
"$@" --echo-log >"$log" 2>&1 &
cleanup stop_process "$!"
wait_for 20 grep -q '^Protection Started on ' "$log"
SCRIPT
    chmod +x "$root/login.sh"
    "$with_xvfb" "$root/login.sh" "$root/login.log" "$program" "${command[@]:1}" ||
        fail_unless_skipped $? "the autostart entry's command is not monitoring: $(cat "$root/login.log" 2>/dev/null)"
    ;;
*) fail "unknown check $check" ;;
esac
echo "PASS: $check"
