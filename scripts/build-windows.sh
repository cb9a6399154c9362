#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program into build-win/bin/ (monitor.exe, bench.exe when the
# bench is in the tree) and its Wine tests: static, every resource inside, no DLL beside them.
# Needs the cross Qt made once by scripts/build-qt-windows.sh (about 50 minutes).
#   VQ_QT_WIN    the cross Qt (default ~/.cache/vqmonitor/qt5-i686)
#   VQ_BUILD_WIN build folder (default build-win in the checkout)
set -euo pipefail
start=$(date +%s)
repo=$(cd "$(dirname "$0")/.." && pwd)
qt=${VQ_QT_WIN:-$HOME/.cache/vqmonitor/qt5-i686}
build=${VQ_BUILD_WIN:-$repo/build-win}
if [ ! -f "$qt/vq-build-info.txt" ]; then
  echo "build-windows: no cross Qt in $qt; make it once with scripts/build-qt-windows.sh (about 50 minutes on two cores)" >&2
  exit 1
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/windows-i686.cmake" \
        -DVQ_QT_WIN="$qt" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j"${VQ_JOBS:-2}"

# Only Windows' own DLLs may be imported: nothing to ship beside the programs.
status=0
for exe in "$build"/bin/*.exe; do
  file -b "$exe" | grep -q "^PE32 executable.*Intel 80386" || { echo "build-windows: $exe is no 32-bit PE" >&2; status=1; }
  extra=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' |
          grep -vxE '(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|uuid|comdlg32|imm32|winmm|ws2_32|winspool\.drv|setupapi|uxtheme|dwmapi|version|netapi32|userenv|mpr|iphlpapi|dnsapi|crypt32|secur32|shlwapi|d3d9|d3d11|dxgi|dwrite|d2d1|wtsapi32|msvcrt|bcrypt|ntdll|authz|rpcrt4|comctl32)(\.dll)?' || true)
  if [ -n "$extra" ]; then
    echo "build-windows: $exe needs DLLs Windows does not have: $extra" >&2
    status=1
  fi
done
ls "$build"/bin/*.dll >/dev/null 2>&1 && { echo "build-windows: DLLs beside the programs" >&2; status=1; }
secs=$(( $(date +%s) - start ))
for exe in "$build"/bin/*.exe; do
  echo "build-windows: $(basename "$exe") $(du -h "$exe" | cut -f1) ($(file -b "$exe" | cut -d, -f1))"
done
echo "build-windows: done in $((secs / 60)) min $((secs % 60)) s"
exit $status
