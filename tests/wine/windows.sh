#!/usr/bin/env bash
# The Windows program's build and tests, as steps of the Linux build's ctest.
#   windows.sh build    builds and checks the 32-bit program (the product) and, where the tests
#                       run its 64-bit twin (scripts/wine-arch.sh), that one too
#   windows.sh test <Linux build dir>   runs the Windows build's own ctest under this machine's
#                       Wine, against the emulator of that Linux build; the report also goes to
#                       windows-tests.log there, which the test command summarises
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
arch=$("$repo/scripts/wine-arch.sh")
if [ "${1:-}" = build ]; then
  VQ_WIN_ARCH=i686 "$repo/scripts/build-windows.sh"
  [ "$arch" = i686 ] || VQ_WIN_ARCH=x86_64 "$repo/scripts/build-windows.sh"
elif [ "${1:-}" = test ] && [ -n "${2:-}" ]; then
  [ "$arch" = i686 ] && dir=${VQ_BUILD_WIN:-$repo/build-win} wine="32-bit Wine" ||
    dir=${VQ_BUILD_WIN64:-$repo/build-win64} wine=wine64
  export VQ_BUILD_DIR=$2
  echo "windows: the $arch build's tests ($dir) under $wine" | tee "$2/windows-tests.log"
  ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300 2>&1 | tee -a "$2/windows-tests.log"
else
  echo "usage: windows.sh build | test <Linux build dir>" >&2
  exit 2
fi
