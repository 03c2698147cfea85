#!/usr/bin/env bash
# Takes a screenshot of the player's window on a virtual screen (Xvfb), playing a raw backup
# file, so that the picture in the README can be made again whenever the window changes.
#
#   scripts/screenshot.sh [--size WxH] [--seconds N] [--layout 8|4] [--sd FILE.sd] OUT.png
#
# --size     the virtual screen (1920x1080 picks the largest UI mode, 1440x900 the middle one,
#            1024x600 the smallest); default 1920x1080
# --seconds  how long it plays before the picture is taken; default 6
# --layout   the channel layout the window starts in; default 8
# --sd       what to play; default demo/demo-card.sd (./run.sh makes it)
# Needs xvfb-run, xdotool and ImageMagick (scripts/install-deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."

size=1920x1080
seconds=6
layout=8
sd=demo/demo-card.sd
out=""
while [ $# -gt 0 ]; do
    case "$1" in
    --size) size=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --layout) layout=$2; shift 2 ;;
    --sd) sd=$2; shift 2 ;;
    -*) echo "screenshot.sh: unknown option $1" >&2; exit 2 ;;
    *) out=$1; shift ;;
    esac
done
if [ -z "$out" ]; then
    echo "usage: scripts/screenshot.sh [--size WxH] [--seconds N] [--layout 8|4] [--sd FILE.sd] OUT.png" >&2
    exit 2
fi
for tool in xvfb-run xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
player=build/dev/tools/tavero
[ -x "$player" ] || { echo "screenshot.sh: build first (cmake --build --preset dev)" >&2; exit 1; }
[ -f "$sd" ] || { echo "screenshot.sh: $sd is missing (./run.sh makes the demo)" >&2; exit 1; }

sd=$(readlink -f "$sd")
out=$(readlink -f "$(dirname "$out")")/$(basename "$out")
# A program folder of its own, so the settings of the build tree stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$player" "$work/tavero"
printf '[Config]\nchannel84=%s\n' "$layout" >"$work/Config.ini"

SDL_AUDIODRIVER=dummy TAVERO_NO_DEVICE_WATCH=1 xvfb-run -a -s "-screen 0 ${size}x24" bash -c '
    set -euo pipefail
    "$1/tavero" -f "$2" >"$1/log" 2>&1 &
    pid=$!
    for _ in $(seq 50); do
        xdotool search --name "TAVERO PLAYER" >/dev/null 2>&1 && break
        sleep 0.2
    done
    win=$(xdotool search --name "TAVERO PLAYER" | head -1)
    geometry=$(xdotool getwindowgeometry --shell "$win")
    eval "$geometry"
    # Play: the window centres itself; the button sits where the skin puts it.
    case "$WIDTH" in
    1920) px=1357; py=51 ;;
    1440) px=1017; py=38 ;;
    *) px=727; py=28 ;;
    esac
    xdotool mousemove $((X + px)) $((Y + py)) click 1
    sleep "$3"
    xdotool mousemove 0 0
    sleep 0.5
    import -window root "$4"
    xdotool key --window "$win" Escape
    wait "$pid" || true
' _ "$work" "$sd" "$seconds" "$out"
echo "wrote $out"
