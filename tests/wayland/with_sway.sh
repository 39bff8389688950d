#!/usr/bin/env bash
# Runs a command as root beside a private headless sway (wlroots) with XWayland, and stops it afterwards.
# The command finds WAYLAND_DISPLAY, DISPLAY and SWAYSOCK set. Skipped (77) without root.
# Usage: with_sway.sh COMMAND [ARGS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/displays.sh"
[ $# -gt 0 ] || usage "COMMAND [ARGS...]"
start_sway
run_command "$@"
