#!/usr/bin/env bash
# The Windows program's build and tests, as steps of the Linux build's ctest.
#   windows.sh build        builds and checks the 32-bit program (the product) and, where the
#                           tests run its 64-bit twin (arch.sh), that one too
#   windows.sh test <Linux build dir>   runs the Windows build's own ctest under this machine's
#                           Wine, against the emulator of that Linux build; the report also goes
#                           to windows-tests.log there, which the test command summarises
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
arch=$("$here/arch.sh")
case ${1:-} in
  build)
    VQ_WIN_ARCH=i686 "$repo/scripts/build-windows.sh"
    [ "$arch" = i686 ] || VQ_WIN_ARCH=x86_64 "$repo/scripts/build-windows.sh"
    ;;
  test)
    if [ "$arch" = i686 ]; then
      dir=${VQ_BUILD_WIN:-$repo/build-win} wine="32-bit Wine"
    else
      dir=${VQ_BUILD_WIN64:-$repo/build-win64} wine=wine64
    fi
    export VQ_BUILD_DIR=${2:?usage: windows.sh test <Linux build dir>}
    log=$VQ_BUILD_DIR/windows-tests.log
    echo "windows: the $arch build's tests ($dir) under $wine" | tee "$log"
    ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300 2>&1 | tee -a "$log"
    ;;
  *)
    echo "usage: windows.sh build | test <Linux build dir>" >&2
    exit 2
    ;;
esac
