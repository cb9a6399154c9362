#!/usr/bin/env bash
# The Windows program's build and tests, as steps of the Linux build's ctest.
#   windows.sh build        builds and checks the 32-bit program (the product) and, where the
#                           tests run its 64-bit twin (arch.sh), that one too
#   windows.sh test <log>   runs the Windows build's own ctest under this machine's Wine; the
#                           report also goes to <log>, which the test command summarises
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
    log=${2:-/dev/null}
    echo "windows: the $arch build's tests ($dir) under $wine" | tee "$log"
    ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300 2>&1 | tee -a "$log"
    ;;
  *)
    echo "usage: windows.sh build | test <log>" >&2
    exit 2
    ;;
esac
