#!/usr/bin/env bash
# One poll cycle of the Windows program's own host under Wine, on N printers (default 2) that
# scripts/wine-printers.sh plays through the stand-in USB printer bus: bench_realpoll's line
# (median and mean wall ms, own CPU ms per cycle). Informative; builds bench_realpoll.exe.
#   benchmarks/winpoll.sh [printers] [cycles]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-2} cycles=${2:-100}
arch=$("$repo/scripts/wine-arch.sh")
[ "$arch" = i686 ] && win=${VQ_BUILD_WIN:-$repo/build-win} || win=${VQ_BUILD_WIN64:-$repo/build-win64}
cmake --build "$win" -j2 --target bench_realpoll >/dev/null
. "$repo/scripts/lib.sh"
state=$win/wine-printers
log=$(mktemp)
"$repo/scripts/wine-printers.sh" "$n" >"$log" 2>&1 & wp=$!
trap 'kill $wp 2>/dev/null; wait $wp 2>/dev/null; rm -f "$log"' EXIT
wait_for 120 grep -q "^wine-printers: " "$log" || { cat "$log" >&2; exit 1; }
"$repo/scripts/wine.sh" "$state" "$win/bin/bench_realpoll.exe" "$cycles"
