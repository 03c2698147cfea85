#!/usr/bin/env bash
# Installs what is missing, builds, makes the demo card once, and shows its recordings.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"

bin=build/dev/tools
demo=demo/demo-card.img
if [ ! -f "$demo" ]; then
    echo "Making the demo card (about a minute) ..."
    mkdir -p demo
    "$bin/tavero-mkcard" --demo --out "$demo.part"
    mv "$demo.part" "$demo"
fi

"$bin/tavero-cli" info car2://0 --drive 0="$demo"
"$bin/tavero-cli" list car2://0 --drive 0="$demo"
