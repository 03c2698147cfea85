#!/usr/bin/env bash
# Installs what is missing, builds, makes the demo card and its backup file once, and starts the
# player's window on it when there is a display; without one it lists the demo's recordings and
# says how to start the window.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"

bin=build/dev/tools
demo=demo/demo-card.img
backup=demo/demo-card.sd
if [ ! -f "$demo" ]; then
    echo "Making the demo card (about a minute) ..."
    mkdir -p demo
    "$bin/tavero-mkcard" --demo --out "$demo.part"
    mv "$demo.part" "$demo"
fi
if [ ! -f "$backup" ]; then
    echo "Backing up the demo card's recordings into $backup ..."
    "$bin/tavero-cli" backup car2://0 --drive 0="$demo" --entries 1,2,3 -o "$backup.part.sd"
    mv "$backup.part.sd" "$backup"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting the player on $backup (Esc or the close button ends it) ..."
    exec "$bin/tavero" -f "$backup"
fi

"$bin/tavero-cli" info "$backup"
"$bin/tavero-cli" list "$backup"
cat <<TEXT

No display here, so the window was not started. On a desktop, start it with
    $bin/tavero -f $backup
or with no arguments to look for recorder cards. scripts/screenshot.sh shows the window on a
virtual screen (Xvfb) and saves a picture of it.
TEXT
