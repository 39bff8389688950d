#!/usr/bin/env bash
# The MSI under Wine: a quiet install puts the program, its documents, a Start-menu shortcut and the
# event source in place and the installed program runs; AUTOSTART=1 adds the logon entry that starts it
# monitoring in the tray, SYSTEMLOG=1 adds --system-log to it; a newer package replaces an older one
# through the shared UpgradeCode and keeps the logon entry as it was; removing it leaves nothing behind. Runs in the Wine prefix and on the
# display that scripts/test-windows prepared.
# Usage: msi_test.sh PACKAGE.msi STAGE_DIR BUILD_MSI SHELL_TEST.exe VERSION
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
msi=${1:?usage}
stage=${2:?usage}
build_msi=${3:?usage}
shell_test=${4:?usage}
version=${5:?usage}
[ -n "${WINEPREFIX:-}" ] || fail "set WINEPREFIX (scripts/test-windows does)"

make_work_dir work
drive_c="$WINEPREFIX/drive_c"
installed="$drive_c/Program Files/Zanthrel"
# The package asks for a per-machine install; Wine puts the shortcut in the user's Start menu all the same.
shortcuts=("$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zanthrel.lnk"
           "$drive_c/users/$(whoami)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Zanthrel.lnk")
has_shortcut() { [ -f "${shortcuts[0]}" ] || [ -f "${shortcuts[1]}" ]; }
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Zanthrel'

# Wine's programs may start background processes that keep the handles they inherited, so their output
# goes through files, never through a pipe that something here waits to see closed.
msiexec() { wine msiexec "$@" </dev/null >"$work/msiexec.log" 2>&1 || fail "msiexec $*: $(cat "$work/msiexec.log")"; }
reg_query() { wine reg query "$@" </dev/null >"$work/reg.out" 2>/dev/null; local status=$?; tr -d '\r' <"$work/reg.out"; return $status; }
windows_path() { winepath -w "$1" </dev/null >"$work/path" 2>/dev/null; tr -d '\r\n' <"$work/path"; }
run_value() { reg_query "$run_key" /v Zanthrel | grep -i 'zanthrel.exe'; }
expect_gone() {
    [ ! -e "$installed" ] || fail "$1: $(find "$installed") is left behind"
    if has_shortcut; then fail "$1: the Start-menu shortcut is left behind"; fi
    if run_value >/dev/null; then fail "$1: the Run entry is left behind"; fi
    if reg_query 'HKLM\Software\Zanthrel' >/dev/null; then fail "$1: HKLM\\Software\\Zanthrel is left"; fi
    if reg_query "$source_key" >/dev/null; then fail "$1: the event source is left"; fi
}
# The logon entry's command line, exactly: the installed program, monitoring, in the tray.
expect_run_value() {
    local value
    value=$(run_value | sed -E 's/.*REG_SZ[[:space:]]+//')
    [ "$value" = "\"C:\\Program Files\\Zanthrel\\zanthrel.exe\" --monitor --minimized$1" ] ||
        fail "$2: the Run entry is '$value'"
}

# A newer version of the same package, for the upgrade: only the version differs.
newer=$work/zanthrel-newer.msi
"$build_msi" "$stage" 99.0.0 "$newer" >"$work/wixl.log" 2>&1 || fail "build-msi: $(cat "$work/wixl.log")"

expect_gone "before installing"
msiexec /i "$(windows_path "$msi")" /qn
for file in zanthrel.exe LICENSE.txt README.md; do [ -f "$installed/$file" ] || fail "$file was not installed"; done
has_shortcut || fail "no Start-menu shortcut"
reg_query "$source_key" /v EventMessageFile | grep -q 'REG_EXPAND_SZ.*Program Files\\Zanthrel\\zanthrel.exe' ||
    fail "the event source does not name the installed program: $(reg_query "$source_key" /s)"
reg_query "$source_key" /v TypesSupported | grep -q '0x7' || fail "the event source's TypesSupported"
if run_value >/dev/null; then fail "the Run entry was added without AUTOSTART=1"; fi
# The installed copy starts, shows its window and tray icon, echoes its log and quits from the tray.
ZANTHREL_EXE=$(windows_path "$installed/zanthrel.exe") WINEDEBUG=-all \
    wine "$shell_test" echo-log-and-tray </dev/null >"$work/run.log" 2>&1 || fail "installed program: $(cat "$work/run.log")"
msiexec /x "$(windows_path "$msi")" /qn
expect_gone "after removal"

msiexec /i "$(windows_path "$msi")" /qn AUTOSTART=1
expect_run_value "" "AUTOSTART=1"
# The newer package replaces the older one: one installed product, which then removes cleanly.
msiexec /i "$(windows_path "$newer")" /qn
[ -f "$installed/zanthrel.exe" ] || fail "the upgrade removed the program"
expect_run_value "" "after the upgrade"
products=$(reg_query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | grep -c 'DisplayName.*Zanthrel' || true)
[ "$products" -eq 1 ] || fail "$products Zanthrel products are registered after the upgrade, expected 1"
msiexec /x "$(windows_path "$newer")" /qn
expect_gone "after removing the upgrade"

# For fleets: the entry also writes to the event log, and an upgrade keeps that too.
msiexec /i "$(windows_path "$msi")" /qn AUTOSTART=1 SYSTEMLOG=1
expect_run_value " --system-log" "AUTOSTART=1 SYSTEMLOG=1"
msiexec /i "$(windows_path "$newer")" /qn
expect_run_value " --system-log" "after the upgrade with SYSTEMLOG=1"
msiexec /x "$(windows_path "$newer")" /qn
expect_gone "after removing the upgrade with SYSTEMLOG=1"
echo "PASS: install, start, the event source, AUTOSTART=1 and SYSTEMLOG=1, upgrade from $version, removal"
