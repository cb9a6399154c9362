#!/usr/bin/env bash
# The test entry point: dependencies, build, every test (ctest), from any checkout.
# Every test runs twice: in the plain build and in a clang build with
# AddressSanitizer and UBSan (VQ_SANITIZE), where any report fails the test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/format.sh --check || { echo "test: the files above are not formatted: run scripts/format.sh" >&2; exit 1; }
src=$(pwd)
build=${VQ_BUILD_DIR:-build}
asan=${VQ_ASAN_BUILD_DIR:-build-asan}
jobs=${VQ_JOBS:-$(nproc)}
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
configure() {  # dir, cmake arguments...
  local dir=$1 g=("${gen[@]}")
  shift
  [ -f "$dir/CMakeCache.txt" ] && g=()
  cmake -S . -B "$dir" "${g[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}
configure "$build" -DVQ_WERROR=ON
configure "$asan" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVQ_SANITIZE=ON -DVQ_WERROR=ON
# The two trees build side by side, each with half of the job budget.
half=$(( jobs > 1 ? jobs / 2 : 1 ))
cmake --build "$build" -j"$half" & plain=$!
cmake --build "$asan" -j"$half" & instrumented=$!
wait $plain
wait $instrumented

qt_win=${VQ_QT_WIN:-$HOME/.cache/vqmonitor/qt5-i686}
[ -f "$qt_win/vq-build-info.txt" ] ||
  echo "Windows program tests not run: make the cross Qt once with scripts/build-qt-windows.sh (about 50 minutes on two cores)"
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 300)
# Full unwinding, so a leak inside Qt's stripped plugins shows the plugin it came from.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0
export LSAN_OPTIONS=suppressions=$src/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$asan" && ctest --output-on-failure -j"$jobs" --timeout 600)
