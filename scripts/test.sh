#!/usr/bin/env bash
# The test entry point: dependencies, build, every test (ctest), from any checkout.
# Every test runs twice: in the plain build and in a clang build with
# AddressSanitizer and UBSan (VQ_SANITIZE), where any report fails the test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/format.sh --check || { echo "test: the files above are not formatted: run scripts/format.sh" >&2; exit 1; }
scripts/include-loops.sh
# Which Windows build runs under Wine here, decided once for the whole run.
VQ_WIN_TEST_ARCH=$(scripts/wine-arch.sh)
echo "test: Windows tests: $(scripts/wine-arch.sh --why)"
export VQ_WIN_TEST_ARCH
# The cross Qt of each Windows build the run makes: from the prebuilt archive in ../shared/cache/
# when it matches, else built (about 50 minutes on two cores, once per machine).
win_archs=(i686)
[ "$VQ_WIN_TEST_ARCH" = i686 ] || win_archs+=(x86_64)
for arch in "${win_archs[@]}"; do
  qtlog=${TMPDIR:-/tmp}/vq-build-qt-$arch.log
  if ! VQ_WIN_ARCH=$arch scripts/build-qt-windows.sh >"$qtlog" 2>&1; then
    tail -n 40 "$qtlog" >&2
    echo "test: the $arch cross Qt could not be made (log above, whole in $qtlog)" >&2
    exit 1
  fi
  grep '^build-qt-windows: \(unpacked\|done\|.*already built\|.*does not match\)' "$qtlog" | sed 's/^/test: /' || true
done
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

export QT_QPA_PLATFORM=offscreen
# A failing tree does not keep the other from running; the run fails at the end.
status=0
rm -f "$build/windows-tests.log"
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 300) || status=1
# What ran under Wine, named: the Windows build's own ctest report.
sed -n -e '1s/^windows: /test: Windows tests: /p' -e '/tests passed/s/^/test: Windows tests: /p' \
  -e 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) [ .*]*\([A-Za-z][^0-9]*[A-Za-z)]\) .*sec$/  \1: \2/p' \
  "$build/windows-tests.log" 2>/dev/null || true
# Full unwinding, so a leak inside Qt's stripped plugins shows the plugin it came from.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0
export LSAN_OPTIONS=suppressions=$src/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$asan" && ctest --output-on-failure -j"$jobs" --timeout 600) || status=1
exit $status
