#!/usr/bin/env bash
# Raw backup throughput against a plain copy of the same bytes, in the same run.
# Usage: bench/backup_bench.sh [BUILD_DIR]   (default build/dev; needs tavero-mkcard and tavero-cli)
set -euo pipefail
build=${1:-build/dev}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tools/tavero-mkcard" --out "$work/card.img" --blocks 16 \
    --channel 0:pattern:640x480@25:kbps=4000 --channel 1:pattern:640x480@25:kbps=4000 \
    --recording "2024-05-01 08:00:00+120" >/dev/null
units=$("$build/tools/tavero-cli" units car2://0 --drive 0="$work/card.img" | tail -1 | awk '{print $1}')
bytes=$((units * 16384))

now() { date +%s.%N; }
t0=$(now)
"$build/tools/tavero-cli" backup car2://0 --drive 0="$work/card.img" -o "$work/copy.sd" --entries 1 >/dev/null 2>&1
t1=$(now)
# The reference: the same number of bytes from the card's data area, copied by dd.
dd if="$work/card.img" of="$work/plain.bin" bs=16384 skip=$((0x16000000 / 16384)) count="$units" \
    conv=fdatasync status=none
t2=$(now)
backup=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
plain=$(awk -v a="$t1" -v b="$t2" 'BEGIN { print b - a }')
printf 'units: %d (%d MiB)\n' "$units" $((bytes / 1048576))
printf 'tavero-cli backup: %.3f s\n' "$backup"
printf 'dd of the same bytes: %.3f s\n' "$plain"
printf 'ratio: %.2f\n' "$(awk -v a="$backup" -v b="$plain" 'BEGIN { print a / b }')"
