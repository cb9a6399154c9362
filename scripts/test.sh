#!/usr/bin/env bash
# The test entry point: dependencies, build, every test (ctest), from any checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${VQ_BUILD_DIR:-build}
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] && gen=()
cmake -S . -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
qt_win=${VQ_QT_WIN:-$HOME/.cache/vqmonitor/qt5-i686}
[ -f "$qt_win/vq-build-info.txt" ] ||
  echo "Windows program tests not run: make the cross Qt once with scripts/build-qt-windows.sh (about 50 minutes on two cores)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
