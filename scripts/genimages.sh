#!/usr/bin/env bash
# Redraws the monitor's images into vqres/img with our own generator.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VQ_BUILD_DIR:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target vqimggen -j2
"$build/bin/vqimggen" vqres/img
