#!/usr/bin/env bash
# Cross-builds the Windows program into build-win/bin/ (monitor.exe, and bench.exe when the test
# bench, testbench/, is in the tree), its setup (build-win/vqmonitor-<version>-setup.exe) and its
# Wine tests: static, every resource inside, no DLL beside them.
# VQ_WIN_ARCH=i686 (default) is the product; x86_64 builds its 64-bit twin into build-win64/ for
# machines whose kernel runs no 32-bit code. Needs the cross Qt of that architecture, made once
# by scripts/build-qt-windows.sh (about 50 minutes; seconds from a prebuilt archive).
#   VQ_WIN_ARCH   i686 or x86_64
#   VQ_QT_WIN, VQ_QT_WIN64  the cross Qt of i686, x86_64 (default ~/.cache/vqmonitor/qt5-<arch>)
#   VQ_BUILD_WIN, VQ_BUILD_WIN64  build folder of i686, x86_64 (default build-win, build-win64 in
#                 the checkout)
set -euo pipefail
start=$(date +%s)
repo=$(cd "$(dirname "$0")/.." && pwd)
arch=${VQ_WIN_ARCH:-i686}
case $arch in
  i686) pe="^PE32 executable.*Intel 80386" build=${VQ_BUILD_WIN:-$repo/build-win} qt=${VQ_QT_WIN:-} ;;
  x86_64) pe="^PE32\+ executable.*x86-64" build=${VQ_BUILD_WIN64:-$repo/build-win64} qt=${VQ_QT_WIN64:-} ;;
  *) echo "build-windows: VQ_WIN_ARCH must be i686 or x86_64, not $arch" >&2; exit 2 ;;
esac
qt=${qt:-$HOME/.cache/vqmonitor/qt5-$arch}
if [ ! -f "$qt/vq-build-info.txt" ]; then
  echo "build-windows: no cross Qt in $qt; make it once with VQ_WIN_ARCH=$arch scripts/build-qt-windows.sh (about 50 minutes on two cores)" >&2
  exit 1
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/windows.cmake" \
        -DVQ_WIN_ARCH="$arch" -DVQ_QT_WIN="$qt" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j"${VQ_JOBS:-2}"

# Only Windows' own DLLs may be imported: nothing to ship beside the programs.
status=0
for exe in "$build"/bin/*.exe; do
  file -b "$exe" | grep -qE "$pe" || { echo "build-windows: $exe is no $arch PE: $(file -b "$exe")" >&2; status=1; }
  extra=$($arch-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' |
          grep -vxE '(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|uuid|comdlg32|imm32|winmm|ws2_32|winspool\.drv|setupapi|uxtheme|dwmapi|version|netapi32|userenv|mpr|iphlpapi|dnsapi|crypt32|secur32|shlwapi|d3d9|d3d11|dxgi|dwrite|d2d1|wtsapi32|msvcrt|bcrypt|ntdll|authz|rpcrt4|comctl32)(\.dll)?' || true)
  if [ -n "$extra" ]; then
    echo "build-windows: $exe needs DLLs Windows does not have: $extra" >&2
    status=1
  fi
done
# What Windows shows of a program: icon group (type 14), version (16) and manifest (24).
if ! command -v wrestool >/dev/null; then
  echo "build-windows: wrestool (icoutils) missing, the programs' resources unchecked: run scripts/deps.sh" >&2
  status=1
fi
for exe in "$build"/bin/monitor.exe "$build"/bin/bench.exe; do
  [ -f "$exe" ] && command -v wrestool >/dev/null || continue
  types=" $(wrestool -l "$exe" 2>&1 | sed -n 's/^--type=\([0-9]*\) .*/\1/p' | sort -u | tr '\n' ' ')"
  for t in 14 16 24; do
    [[ $types == *" $t "* ]] || { echo "build-windows: $exe has no resource of type $t (has:$types)" >&2; status=1; }
  done
done
ls "$build"/bin/*.dll >/dev/null 2>&1 && { echo "build-windows: DLLs beside the programs" >&2; status=1; }

secs=$(( $(date +%s) - start ))
for exe in "$build"/bin/*.exe "$build"/vqmonitor-*setup.exe; do
  echo "build-windows: $(basename "$exe") $(du -h "$exe" | cut -f1) ($(file -b "$exe" | cut -d, -f1))"
done
echo "build-windows: done in $((secs / 60)) min $((secs % 60)) s"
exit $status
