# Sourced by session.sh while blocking is on, for the Windows program: a spy that reads the clipboard
# the instant it hears of a change races the blocking (as a format listener and as a clipboard viewer,
# ZANTHREL_LIVE_RACE_RUNS times each, 15 texts 300 ms apart), then a program fights it by taking the
# clipboard back the instant it finds it emptied.
race_runs=${ZANTHREL_LIVE_RACE_RUNS:-3}
race_texts=15
race_spacing=300

# The median and nearest-rank p90 of the numbers in FILE, as live_figures.h's summarize computes them.
race_summary() {
    sort -n "$1" | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "0 0"; exit }
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        r = int(0.9 * NR); if (r < 0.9 * NR) r++; if (r < 1) r = 1
        printf "%.3g %.3g\n", m, v[r] }'
}

race_spy() {
    local kind=$1 run=$2 spy got
    # Each run's own files, for a closer look with ZANTHREL_LIVE_KEEP=1.
    local spied=$work/spy-$kind-$run copied=$work/secrets-$kind-$run
    : >"$spied"
    run_probe spy "$kind" $((race_texts * race_spacing / 1000 + 4)) >"$spied" &
    spy=$!
    wait_for 20 grep -q '^ready' "$spied" || fail "the $kind spy did not start"
    run_probe secrets "$race_texts" "$race_spacing" >"$copied" || fail "copying the secrets failed"
    wait "$spy" || fail "the $kind spy failed"
    got=$(grep -c '^got ' "$spied" || true)
    figure "race_${kind}_spy_run$run" "$got" "of_$race_texts"
    sed -n 's/^exposed \([^ ]*\).*/\1/p' "$copied" | tr -d '\r' >>"$work/exposed-$kind"
    say "run $run, $kind spy: got $(grep '^got ' "$spied" | cut -d' ' -f2 | tr -d '\r' | tr '\n' ' ')"
    say "run $run, $kind spy: $(grep -c '^kept' "$copied" || true) of $race_texts texts kept for 1 s"
}

for kind in listener viewer; do
    : >"$work/exposed-$kind"
    for run in $(seq "$race_runs"); do race_spy "$kind" "$run"; done
    read -r median p90 < <(race_summary "$work/exposed-$kind")
    figure "race_${kind}_exposure_median_ms" "$median" ms
    figure "race_${kind}_exposure_p90_ms" "$p90" ms
done

say "a program takes the clipboard back at once after every emptying; measuring CPU for 8 s"
contested=$(count_log "Clipboard Taken Back")
run_probe fight 12 >"$work/fight" &
fighter=$!
sleep 1
cpu_figure fight_cpu_pct 8
wait "$fighter" || fail "the fighting probe failed"
tr -d '\r' <"$work/fight"
say "the fight wrote $(($(count_log "Clipboard Taken Back") - contested)) problem line(s)"
