#!/usr/bin/env bash
# The player's window playing 8 channels of 1280x720 at 30 pictures/s (about 3.5 Mbit/s each) at
# speed 1 on a virtual 1920 x 1080 screen, against libavcodec decoding the same stream alone in
# the same process. Reports pictures shown per channel against pictures recorded, the process's
# CPU, and CPU per shown picture against libavcodec alone.
# Usage: bench/window_bench.sh [BUILD_DIR] [SECONDS]   (default build/dev, 60)
# Needs ffmpeg (libx264) for the stream, xvfb-run; builds nothing itself.
set -euo pipefail
build=${1:-build/dev}
seconds=${2:-60}
fps=30
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A camera-like stream: moving test picture with sensor noise, one key picture a second.
length=$((seconds + 5))
ffmpeg -v error -f lavfi -i "testsrc2=size=1280x720:rate=$fps,noise=alls=10:allf=t" -t "$length" \
    -c:v libx264 -preset veryfast -profile:v main -bf 0 -g "$fps" -b:v 3500k -maxrate 4000k \
    -bufsize 4000k -f h264 "$work/camera.264"
channels=()
for ch in 0 1 2 3 4 5 6 7; do
    channels+=(--channel "$ch:file=$work/camera.264@$fps")
done
"$build/tools/tavero-mkcard" --sd --out "$work/drive.sd" --blocks 128 "${channels[@]}" \
    --audio 0:tone=440 --recording "2024-05-01 08:00:00+$length" >/dev/null
printf 'stream: %s\n' "$(ffprobe -v error -show_entries format=bit_rate -of default=nw=1 \
    -f h264 "$work/camera.264" 2>/dev/null || true)"
printf 'stream: %d bytes for %d s: %.2f Mbit/s\n' "$(stat -c %s "$work/camera.264")" "$length" \
    "$(awk -v b="$(stat -c %s "$work/camera.264")" -v s="$length" 'BEGIN { print b * 8 / s / 1e6 }')"

SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1920x1080x24" \
    "$build/bench/tavero_bench_window" --sd "$work/drive.sd" --stream "$work/camera.264" \
    --seconds "$seconds" --fps "$fps"
