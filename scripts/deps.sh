#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages, only when missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config qtbase5-dev libqt5serialport5-dev qttools5-dev qttools5-dev-tools
      qt5-qmake xvfb xauth mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 fonts-wqy-microhei imagemagick
      wine wine32:i386 wine64 nsis locales make perl patch xz-utils
      libcups2-dev libumockdev-dev umockdev cups-daemon cups-client dpkg-dev file)
pkgs+=(clang-format)  # scripts/format.sh
pkgs+=(libpng-dev)   # the one-key print page's PNG encoder
pkgs+=(libudev-dev)  # the Linux host's device monitor
pkgs+=(clang libclang-rt-14-dev llvm-14)   # the sanitizer and fuzz builds
pkgs+=(gcovr ccache)   # scripts/coverage.sh, scripts/mutants.py
pkgs+=(icoutils)       # scripts/build-windows.sh reads the programs' resources back (wrestool)
pkgs+=(lintian man-db)  # the package test
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
# Wine runs the Windows builds in the tests: 32-bit where the kernel runs i386 code, else 64-bit.
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
