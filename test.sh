#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in the optimised build
# with warnings as errors, once under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# threaded tests (engine, export, card tools) once more under ThreadSanitizer. Each step says how
# long it took.
set -euo pipefail
cd "$(dirname "$0")"

started=$SECONDS
step() {
    local from=$SECONDS
    "$@"
    echo "-- $(( SECONDS - from )) s: $*" >&2
}

step ./scripts/install-deps.sh

jobs=$(nproc)
# Many cases wait on sleeping players, screens and child processes rather than compute: one test
# more than there are cores keeps the cores busy.
test_jobs=$(( jobs + 1 ))
for preset in ci asan; do
    echo "== ${preset}: configure and build"
    step cmake --preset "$preset" >/dev/null
    step cmake --build --preset "$preset" -j "$jobs"
    echo "== ${preset}: test"
    step ctest --preset "$preset" -j "$test_jobs" --timeout 600
done

echo "== tsan: configure and build the threaded tests"
threaded=(tavero_engine_tests tavero_source_tests tavero_audio_tests tavero_playback_tests
          tavero_export_tests tavero_cardtools_tests)
step cmake --preset tsan >/dev/null
step cmake --build --preset tsan -j "$jobs" --target "${threaded[@]}"
echo "== tsan: test"
label=$(IFS='|'; echo "${threaded[*]}")
step ctest --preset tsan -j "$test_jobs" --timeout 600 -L "^(${label})\$"
echo "== all green in $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s"
