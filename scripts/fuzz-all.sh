#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each (default 60) from the committed corpus and prints
# the runs and findings per target. Findings are left in build/fuzz/findings/TARGET/; the
# committed corpus is not changed (new inputs go to a scratch copy).
#
#   cmake --preset fuzz && cmake --build --preset fuzz
#   scripts/fuzz-all.sh 120 [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
build=build/fuzz/tests/fuzz
[ -d "$build" ] || { echo "fuzz-all.sh: build the fuzz preset first (cmake --build --preset fuzz)" >&2; exit 1; }
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$build"/fuzz_*; do
        case "$f" in *_replay) continue ;; esac
        [ -x "$f" ] && targets+=("$(basename "$f")")
    done
fi
jobs=$(nproc)
printf '%-22s %12s %10s %8s\n' target runs "runs/s" findings
for t in "${targets[@]}"; do
    corpus=tests/fuzz/corpus/${t#fuzz_}
    scratch=$(mktemp -d)
    findings=build/fuzz/findings/$t
    mkdir -p "$findings"
    cp -r "$corpus"/. "$scratch"/ 2>/dev/null || true
    log=$(mktemp)
    stamp=$(mktemp)
    # One process per core; each reports its own runs.
    "$build/$t" -max_total_time="$seconds" -jobs="$jobs" -workers="$jobs" \
        -artifact_prefix="$findings/" -print_final_stats=1 "$scratch" >"$log" 2>&1 || true
    cat fuzz-*.log >>"$log" 2>/dev/null || true
    rm -f fuzz-*.log
    runs=$( (grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" || true) | awk '{s += $2} END {print s + 0}')
    # Only what this run found; older findings stay in the folder until somebody looks at them.
    found=$(find "$findings" -type f -newer "$stamp" | wc -l)
    printf '%-22s %12d %10d %8d\n' "$t" "$runs" $((runs / seconds)) "$found"
    rm -rf "$scratch" "$log" "$stamp"
done
