#!/usr/bin/env bash
# Runs a command as an X client of GNOME's compositor: a private headless mutter with its XWayland
# bridge, and a Wayland display for wl-copy and wl-paste. Stops everything afterwards.
# Exits 77 (a skipped test for CTest) when mutter cannot be started here, saying why.
# Usage: with_mutter.sh COMMAND [ARGS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/displays.sh"
[ $# -gt 0 ] || usage "COMMAND [ARGS...]"
start_mutter
run_command "$@"
