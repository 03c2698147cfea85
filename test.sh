#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in the optimised build
# with warnings as errors, once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

jobs=$(nproc)
for preset in ci asan; do
    echo "== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== ${preset}: test"
    ctest --preset "$preset" -j "$jobs" --timeout 600
done
