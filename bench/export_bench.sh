#!/usr/bin/env bash
# AVI export throughput against a plain copy of the same bytes, in the same run.
# Usage: bench/export_bench.sh [BUILD_DIR]   (default build/dev; needs tavero-mkcard and tavero-cli)
# The export reads every unit, finds every frame and writes two AVI files; the reference copies
# the recording's units with dd (and also syncs, like the export's files are not: the export
# leaves flushing to the system, so the reference is timed both ways).
set -euo pipefail
build=${1:-build/dev}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tools/tavero-mkcard" --out "$work/card.img" --blocks 16 \
    --channel 0:pattern:1280x720@25:kbps=8000 --channel 1:pattern:1280x720@25:kbps=8000 \
    --audio 0:tone=440 --recording "2024-05-01 08:00:00+120" >/dev/null
units=$("$build/tools/tavero-cli" units car2://0 --drive 0="$work/card.img" | tail -1 | awk '{print $1}')
bytes=$((units * 16384))

now() { date +%s.%N; }
best() { sort -n | head -1; }
export_times=()
plain_times=()
for run in 1 2 3; do
    rm -f "$work"/trip*.avi "$work/plain.bin"
    t0=$(now)
    "$build/tools/tavero-cli" export car2://0 --drive 0="$work/card.img" -o "$work/trip.avi" --entry 1 \
        >/dev/null 2>&1
    t1=$(now)
    dd if="$work/card.img" of="$work/plain.bin" bs=16384 skip=$((0x16000000 / 16384)) count="$units" \
        status=none
    t2=$(now)
    export_times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
    plain_times+=("$(awk -v a="$t1" -v b="$t2" 'BEGIN { print b - a }')")
done
exported=$(printf '%s\n' "${export_times[@]}" | best)
plain=$(printf '%s\n' "${plain_times[@]}" | best)
printf 'units: %d (%d MiB), AVI bytes written: %d MiB\n' "$units" $((bytes / 1048576)) \
    $(( $(cat "$work"/trip*.avi | wc -c) / 1048576 ))
printf 'tavero-cli export (best of 3): %.3f s\n' "$exported"
printf 'dd of the same bytes (best of 3): %.3f s\n' "$plain"
printf 'ratio: %.2f\n' "$(awk -v a="$exported" -v b="$plain" 'BEGIN { print a / b }')"
