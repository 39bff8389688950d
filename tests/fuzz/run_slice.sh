#!/usr/bin/env bash
# Runs one fuzzer over its seed corpus and then on fresh inputs, without touching the checked-in
# corpus: new inputs and any crashing one go to <work folder>.
# Usage: run_slice.sh <fuzzer> <corpus folder> <work folder> [libFuzzer options...]
set -euo pipefail
fuzzer=$1 corpus=$2 work=$3
shift 3
rm -rf "$work"
mkdir -p "$work/new"
seeds=()
[ -d "$corpus" ] && seeds=("$corpus")
exec "$fuzzer" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/" -print_final_stats=1 "$@" \
    "$work/new" "${seeds[@]}"
