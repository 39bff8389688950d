#!/usr/bin/env bash
# The portable zip: CPack builds it from the build tree; it holds the program, the README and the
# licence in one folder, and the program runs from wherever it was unpacked. Runs under the Wine
# prefix and display that scripts/test-windows prepared.
# Usage: zip_test.sh BUILD_DIR VERSION
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/test_lib.sh"
build=${1:?usage: $0 BUILD_DIR VERSION}
version=${2:?usage}
[ -n "${WINEPREFIX:-}" ] || fail "set WINEPREFIX (scripts/test-windows does)"

make_work_dir work
(cd "$build" && cpack -G ZIP -B "$work/out") >"$work/cpack.log" 2>&1 || fail "cpack: $(cat "$work/cpack.log")"
zip=$work/out/zanthrel-$version-windows-x64.zip
[ -f "$zip" ] || fail "no $zip"
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
expected="zanthrel-$version-windows-x64/LICENSE.txt zanthrel-$version-windows-x64/README.md zanthrel-$version-windows-x64/zanthrel.exe "
[ "$listing" = "$expected" ] || fail "the zip holds: $listing"
unzip -q "$zip" -d "$work/unpacked"
grep -q 'Copyright the Zanthrel authors' "$work/unpacked/zanthrel-$version-windows-x64/LICENSE.txt" || fail "licence"
# Output through a file: Wine's background processes may keep a pipe open.
wine "$work/unpacked/zanthrel-$version-windows-x64/zanthrel.exe" --version </dev/null >"$work/version" 2>&1 ||
    fail "the unpacked program failed: $(cat "$work/version")"
[ "$(tr -d '\r' <"$work/version")" = "zanthrel $version" ] || fail "the unpacked program printed '$(cat "$work/version")'"
echo "PASS: the zip holds the program, README and licence, and the program runs from it"
