#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in the optimised build
# with warnings as errors, once under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# threaded tests (engine, export, card tools) once more under ThreadSanitizer.
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

echo "== tsan: configure and build the threaded tests"
threaded=(tavero_engine_tests tavero_source_tests tavero_audio_tests tavero_playback_tests
          tavero_export_tests tavero_cardtools_tests)
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target "${threaded[@]}"
echo "== tsan: test"
label=$(IFS='|'; echo "${threaded[*]}")
ctest --preset tsan -j "$jobs" --timeout 600 -L "^(${label})\$"
