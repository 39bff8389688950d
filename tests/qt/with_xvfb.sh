#!/usr/bin/env bash
# Runs a command on a private Xvfb display (96 dpi) and stops the server afterwards.
# Usage: with_xvfb.sh COMMAND [ARGS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/displays.sh"
[ $# -gt 0 ] || usage "COMMAND [ARGS...]"
start_xvfb -dpi 96
run_command "$@"
