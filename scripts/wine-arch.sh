#!/usr/bin/env bash
# Which Windows build the tests run under Wine here: i686 under 32-bit Wine where the kernel runs
# i386 programs (the product itself), else its x86_64 twin under wine64. Decided by running the
# i386 loader, never guessed; VQ_WIN_TEST_ARCH=i686|x86_64 chooses by hand.
#   wine-arch.sh [--why]   prints i686 or x86_64; with --why, a sentence saying which and why
set -uo pipefail
loader=/lib/ld-linux.so.2
if [ -n "${VQ_WIN_TEST_ARCH:-}" ]; then
  [[ $VQ_WIN_TEST_ARCH =~ ^(i686|x86_64)$ ]] || { echo "arch: VQ_WIN_TEST_ARCH must be i686 or x86_64" >&2; exit 2; }
  arch=$VQ_WIN_TEST_ARCH why="chosen by VQ_WIN_TEST_ARCH"
elif [ ! -e "$loader" ]; then
  arch=x86_64 why="$loader is missing (no i386 runtime installed)"
elif msg=$("$loader" --version 2>&1 | head -1); then
  arch=i686 why="this kernel runs 32-bit programs ($loader --version: ${msg})"
else
  arch=x86_64 why="this kernel runs no 32-bit programs ($loader: ${msg#*"$loader: "})"
fi
if [ "${1:-}" != --why ]; then
  echo "$arch"
elif [ "$arch" = i686 ]; then
  echo "the 32-bit Windows build runs under 32-bit Wine: $why"
else
  echo "the 64-bit Windows build (x86_64-w64-mingw32) runs under wine64; the 32-bit build is built and checked only: $why"
fi
