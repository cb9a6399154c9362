#!/usr/bin/env bash
# The Linux host's poll cycle and the hidden monitor's idle CPU (every worker on),
# one printer under umockdev and the private CUPS scheduler. Needs root.
# Usage: benchmarks/linuxhost.sh [cycles] [idle seconds] [build dir]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${3:-build}" && pwd)
QT_QPA_PLATFORM=offscreen exec "$src/tests/linuxhost/with_cupsd.sh" umockdev-wrapper \
  "$build/bin/bench_linuxhost" "${1:-1000}" "${2:-60}" "$build/bin/monitor_allon"
