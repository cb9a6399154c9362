#!/usr/bin/env bash
# Line and branch coverage of printerlink/ and monitor/ by the test command's tests: a gcc
# --coverage tree of its own, the Linux tests (the Windows and Wine ones run no Linux code).
# Settings: VQ_COV_SRC (the sources, default this checkout), VQ_COV_BUILD_DIR (default
# build-cov in them), VQ_COV_EXCLUDE (a ctest -E expression of more tests to leave out),
# VQ_JOBS (default 2).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
scripts/deps.sh || exit 1
src=$(realpath "${VQ_COV_SRC:-$PWD}")
bdir=$(realpath -m "${VQ_COV_BUILD_DIR:-$src/build-cov}")
cd "$src" || exit 1
jobs=${VQ_JOBS:-2}
# No debug information: counts need none. ccache makes the rebuilds of scripts/mutants.py cheap.
# Atomic counters: the poll threads count at once, and plain ones came out negative.
nice -n 10 cmake -S . -B "$bdir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DVQ_WERROR=ON \
  "-DCMAKE_CXX_FLAGS=--coverage -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  >/dev/null || exit 1
# What the tests run; the benchmarks but the fault play are left out.
nice -n 10 cmake --build "$bdir" -j"$jobs" --target printerlink/all monitor/all printersim/all vqres/all \
  tests/all fuzz/all faultplay $([ -d testbench ] && echo testbench/all) || exit 1
# Counts of an earlier run would add up with this one.
find "$bdir" -name '*.gcda' -delete
status=0
exclude='windows|wine|winhost|installer'
[ -n "${VQ_COV_EXCLUDE:-}" ] && exclude="$exclude|$VQ_COV_EXCLUDE"
(cd "$bdir" && QT_QPA_PLATFORM=offscreen nice -n 10 ctest -E "$exclude" \
  -j"$jobs" --output-on-failure) || status=$?
# gcc marks exception and compiler-made branches too: left out, as no test can take them.
gcovr -r "$src" --object-directory "$bdir" --filter 'printerlink/' --filter 'monitor/' \
  --exclude-throw-branches --exclude-unreachable-branches -j"$jobs" --exclude-directories '.*/CompilerIdCXX' \
  --json "$bdir/coverage.json" || exit 1
{
  echo "coverage of the test command ($src, $(date -u +%F))"
  for d in printerlink monitor; do
    echo "$d/:"
    gcovr -r "$src" -a "$bdir/coverage.json" --filter "$d/" --print-summary -o "$bdir/coverage-$d.txt" | sed 's/^/  /'
  done
} | tee "$bdir/coverage.txt"
gcovr -r "$src" -a "$bdir/coverage.json" --txt "$bdir/coverage-files.txt"
echo "per file: $bdir/coverage-files.txt"
exit $status
