#!/usr/bin/env bash
# Runs a command beside a private headless KWin (KDE's compositor) with XWayland, and stops it afterwards.
# The command finds WAYLAND_DISPLAY and DISPLAY set, and KWin's session bus. Exits 77 (a skipped test for
# CTest) when KWin is not installed (apt-get install --no-install-recommends kwin-wayland) or cannot be
# started here, saying why.
# Usage: with_kwin.sh COMMAND [ARGS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/displays.sh"
[ $# -gt 0 ] || usage "COMMAND [ARGS...]"
start_kwin
run_command "$@"
