#!/usr/bin/env bash
# Saves a picture of each window of the program into a folder, for the README. Run on an X display,
# e.g. tests/qt/with_xvfb.sh tests/qt/take_screenshots.sh build/qt/platform/qt/zanthrel docs
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"

program=${1:?usage: $0 PATH/TO/zanthrel OUTPUT_DIR}
output=${2:?usage: $0 PATH/TO/zanthrel OUTPUT_DIR}
mkdir -p "$output"

"$program" >/dev/null 2>&1 &
cleanup stop_process "$!"

main=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zanthrel$' | head -n1)
# Let the first frame reach the screen: ask the server a question after the window is mapped.
xwininfo -id "$main" >/dev/null
import -window "$main" "$output/linux-main-window.png"

# The middle of lblPleaseRead: banner border (2 px) + 9000, 315 twips, 1365 x 240.
xdotool mousemove --window "$main" $((2 + 600 + 45)) $((2 + 21 + 8)) click 1
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Please Read$' | head -n1)
xwininfo -id "$dialog" >/dev/null
import -window "$dialog" "$output/linux-information-dialog.png"
xdotool key Return
echo "saved $output/linux-main-window.png and $output/linux-information-dialog.png"
