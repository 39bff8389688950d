#!/usr/bin/env bash
# Gives the focus to the window titled TITLE on the KWin that with_kwin.sh started (its session bus): KWin's
# XWayland bridge shows X11 programs the clipboard only while one of their windows has the focus, and a
# headless KWin has no pointer to click with. A script loaded through KWin's scripting interface does it.
# Usage: kwin_focus.sh TITLE
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
[ $# -eq 1 ] || usage TITLE
need_tools xdotool
/usr/bin/python3 -c 'import dbus' 2>/dev/null || skip "python3-dbus is not installed (scripts/deps linux)"
title=$1
make_work_dir work
/usr/bin/python3 - "$title" "$work/focus.js" <<'PYTHON' || fail "KWin's scripting did not answer"
import json, sys, dbus
title, path = sys.argv[1], sys.argv[2]
with open(path, 'w') as script:
    script.write('const found = workspace.clientList().find(window => window.caption === %s);\n' % json.dumps(title))
    script.write('if (found) workspace.activeClient = found;\n')
bus = dbus.SessionBus()
scripting = dbus.Interface(bus.get_object('org.kde.KWin', '/Scripting'), 'org.kde.kwin.Scripting')
scripting.unloadScript('zanthrel-focus')
# loadScript is overloaded (path; path and name): the signature picks the second.
number = scripting.loadScript(path, 'zanthrel-focus', signature='ss')
dbus.Interface(bus.get_object('org.kde.KWin', '/%d' % number), 'org.kde.kwin.Script').run()
PYTHON
focused() { [ "$(xdotool getactivewindow getwindowname 2>/dev/null)" = "$title" ]; }
wait_for 5 focused || fail "KWin did not give the focus to \"$title\""
