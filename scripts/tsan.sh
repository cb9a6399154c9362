#!/usr/bin/env bash
# ThreadSanitizer over the threaded tests (poll, link, services, bench, single
# instance) in a clang build of the whole tree (VQ_TSAN); any report fails.
# Not part of scripts/test.sh. Settings: VQ_TSAN_BUILD_DIR, VQ_JOBS.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${VQ_TSAN_BUILD_DIR:-build-tsan}
jobs=${VQ_JOBS:-2}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
[ -f "$dir/CMakeCache.txt" ] ||
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DVQ_TSAN=ON "${launcher[@]}" >/dev/null
cmake --build "$dir" -j"$jobs"
export QT_QPA_PLATFORM=offscreen
# Qt is not instrumented: what it does inside stays out of the reports (the
# locks our code takes through it are made visible by tests/support/vqtsanqt.cpp).
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1"
cd "$dir"
ctest --output-on-failure -j"$jobs" --timeout 900 \
  -R '^tst_(host|comlink|link_e2e|services|bench|singleton)$'
