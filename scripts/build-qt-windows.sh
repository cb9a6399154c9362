#!/usr/bin/env bash
# One-time build of a static Qt 5.15 for MinGW, used to cross-build the Windows program: 32-bit
# (the product) or 64-bit (its twin for machines whose kernel runs no 32-bit code).
# About 50 minutes on two cores; the result (~115 MB) goes to ~/.cache/vqmonitor/qt5-<arch>.
# A second run with the result present does nothing. A prebuilt archive of this script's own
# output in ../shared/cache/ (qt5-<arch>-<version>-static.tar.xz) is unpacked instead of building
# when the build info inside matches what this run would build.
#   VQ_WIN_ARCH          i686 (default) or x86_64
#   VQ_QT_WIN, VQ_QT_WIN64  install prefix (the cache) of i686, x86_64
#   VQ_QT_WIN_WORK       sources and build trees (default: <prefix>-work; may be removed afterwards)
#   VQ_QT_WIN_ARCHIVE    the prebuilt archive (default: ../shared/cache/ beside the repository)
#   VQ_QTSERIALPORT_SRC  qtserialport-everywhere-src-5.15.8.tar.xz (default: ../shared/third-party/
#                        beside the repository; downloaded from Qt's archive when absent)
#   VQ_JOBS              parallel jobs (default 2)
set -euo pipefail
start=$(date +%s)
repo=$(cd "$(dirname "$0")/.." && pwd)
arch=${VQ_WIN_ARCH:-i686}
case $arch in i686 | x86_64) ;; *) echo "build-qt-windows: VQ_WIN_ARCH must be i686 or x86_64, not $arch" >&2; exit 2 ;; esac
cross=$arch-w64-mingw32
if [ "$arch" = i686 ]; then prefix=${VQ_QT_WIN:-}; else prefix=${VQ_QT_WIN64:-}; fi
prefix=${prefix:-$HOME/.cache/vqmonitor/qt5-$arch}
work=${VQ_QT_WIN_WORK:-$prefix-work}
jobs=${VQ_JOBS:-2}
qtver=5.15.8
serial_name=qtserialport-everywhere-src-$qtver.tar.xz
# ../shared beside the checkout (or beside the main checkout, from a git worktree)
main_repo=$(dirname "$(cd "$repo" && git rev-parse --path-format=absolute --git-common-dir 2>/dev/null || echo "$repo/.git")")
shared=$repo/../shared
[ -d "$shared" ] || shared=$main_repo/../shared
serial_src=${VQ_QTSERIALPORT_SRC:-$shared/third-party/$serial_name}
serial_url=https://download.qt.io/archive/qt/5.15/$qtver/submodules/qtserialport-everywhere-opensource-src-$qtver.tar.xz
info=$prefix/vq-build-info.txt
archive=${VQ_QT_WIN_ARCHIVE:-$shared/cache/qt5-$arch-$qtver-static.tar.xz}

configure_args=(-xplatform win32-g++ -device-option CROSS_COMPILE=$cross-
  -prefix "$prefix" -static -static-runtime -release -opensource -confirm-license
  -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-openssl
  -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype
  -no-sql-db2 -no-sql-ibase -no-sql-mysql -no-sql-oci -no-sql-odbc -no-sql-psql -no-sql-sqlite
  -no-sql-sqlite2 -no-sql-tds
  # Debian's tarball leaves out the bundled Wintab headers the tablet support includes.
  -no-feature-tabletevent)
modules="corelib network gui widgets testlib platformsupport winmain serialport"
plugins=(platforms/windows platforms/offscreen styles/windowsvista)
patches=$(cd "$repo/scripts/qt-windows-patches" 2>/dev/null && ls ./*.patch 2>/dev/null | tr '\n' ' ' || true)

# What decides the build, one line each, with the prefix as a placeholder: the build info of an
# archive must give the same lines to stand in for a build here.
build_key() {  # build_key <vq-build-info.txt> <its prefix>
  sed -e '1s/, built .*//' -e '/^qtbase: /d' -e 's/^\(qtserialport:\) .*(\([0-9a-f]*\))$/\1 \2/' \
      -e "s|$2|<prefix>|g" "$1"
}
expected_key() {
  local serial_sum=-
  [ -f "$serial_src" ] && serial_sum=$(sha256sum "$serial_src" | cut -d' ' -f1)
  local tmp
  tmp=$(mktemp)
  {
    echo "Qt $qtver static, $cross (posix threads)"
    echo "qtserialport: x ($serial_sum)"
    echo "compiler: $($cross-g++-posix --version | head -1 | sed "s/^$cross-g++-posix/$cross-g++/")"
    echo "patches: $patches"
    echo "configure: ${configure_args[*]}"
    echo "modules: $modules"
    echo "plugins: ${plugins[*]}"
  } >"$tmp"
  build_key "$tmp" "$prefix"
  rm -f "$tmp"
}

if [ ! -f "$info" ] && [ -f "$archive" ]; then
  name=qt5-$arch
  if ! tar -tJf "$archive" "$name/vq-build-info.txt" >/dev/null 2>&1; then
    echo "build-qt-windows: $archive holds no $name/vq-build-info.txt: building instead"
  else
    mkdir -p "$(dirname "$prefix")"
    unpack=$(mktemp -d "$(dirname "$prefix")/.vq-unpack.XXXXXX")
    tar -xJf "$archive" -C "$unpack"
    got=$unpack/$name/vq-build-info.txt
    # The prefix it was built for, as its configure line records it.
    built_for=$(sed -n 's/^configure: .* -prefix \([^ ]*\) .*/\1/p' "$got")
    if diff <(build_key "$got" "$built_for") <(expected_key) >"$unpack/.diff"; then
      if [ "$built_for" != "$prefix" ]; then
        # qmake, the .prl/.pc files and the module .pri files hold the prefix it was built for.
        grep -rlIF "$built_for" "$unpack/$name" | xargs -r sed -i "s|$built_for|$prefix|g"
      fi
      rm -rf "$prefix" && mkdir -p "$(dirname "$prefix")" && mv "$unpack/$name" "$prefix"
      rm -rf "$unpack"
      echo "build-qt-windows: unpacked $archive into $prefix ($(head -1 "$info"))"
      exit 0
    fi
    echo "build-qt-windows: $archive does not match this build; building instead. Differences (<archive >this build):"
    sed 's/^/  /' "$unpack/.diff"
    rm -rf "$unpack"
  fi
fi

if [ -f "$info" ]; then
  echo "build-qt-windows: $prefix is already built ($(head -1 "$info")); nothing to do"
  exit 0
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)
# A build stopped and resumed counts all its runs: each one adds its time here on the way out.
trap 'echo $(( $(date +%s) - start )) >>"$work/.vq-run-seconds"' EXIT

# Qt needs std::thread, which only the posix-thread MinGW compilers have: put them first in
# PATH under the plain cross names, so Qt's mkspec (and what it records) stays the stock one.
tools=$work/toolbin
mkdir -p "$tools"
for t in gcc g++; do
  command -v $cross-$t-posix >/dev/null ||
    { echo "build-qt-windows: $cross-$t-posix missing: run scripts/deps.sh" >&2; exit 1; }
  ln -sf "$(command -v $cross-$t-posix)" "$tools/$cross-$t"
done
export PATH=$tools:$PATH

# qtbase: Debian's source package, through a private apt configuration (the system's stays untouched).
apt_dir=$work/apt
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources"
          -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o APT::Sandbox::User=root)
qtbase_tar=$(ls "$work"/qtbase-opensource-src_$qtver*.orig.tar.xz 2>/dev/null | head -1 || true)
if [ -z "$qtbase_tar" ]; then
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  cat >"$apt_dir/sources/debian-src.sources" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get "${apt_opts[@]}" -qq update
  (cd "$work" && apt-get "${apt_opts[@]}" -qq source --download-only qtbase-opensource-src)
  qtbase_tar=$(ls "$work"/qtbase-opensource-src_$qtver*.orig.tar.xz | head -1)
fi
echo "build-qt-windows: qtbase from Debian's source package: $(basename "$qtbase_tar")"

if [ -f "$serial_src" ]; then
  echo "build-qt-windows: qtserialport from $serial_src"
  serial_from=$serial_src
else
  serial_from=$work/$(basename "$serial_url")
  if [ ! -f "$serial_from" ]; then
    echo "build-qt-windows: $serial_src not found; downloading $serial_url"
    curl -fL --retry 3 -o "$serial_from.part" "$serial_url" && mv "$serial_from.part" "$serial_from"
  fi
  echo "build-qt-windows: qtserialport from Qt's archive: $serial_url"
fi

src=$work/qtbase-src
if [ ! -f "$src/.vq-unpacked" ]; then
  rm -rf "$src" && mkdir -p "$src"
  tar -xf "$qtbase_tar" -C "$src" --strip-components=1
  for p in "$repo"/scripts/qt-windows-patches/*.patch; do
    [ -e "$p" ] || continue
    echo "build-qt-windows: applying $(basename "$p")"
    patch -d "$src" -p1 --quiet <"$p"
  done
  touch "$src/.vq-unpacked"
fi


build=$work/qtbase-build
if [ ! -f "$build/.vq-configured" ]; then
  rm -rf "$build" && mkdir -p "$build"
  echo "build-qt-windows: configure ${configure_args[*]}"
  (cd "$build" && "$src/configure" "${configure_args[@]}")
  touch "$build/.vq-configured"
fi
# A compile killed mid-way leaves an empty object that make takes as done (seen here:
# QAbstractItemView missing from the Widgets archive); a resumed build redoes them.
find "$build" "$work/qtserialport-build" -name '*.o' -size 0 -print -delete 2>/dev/null || true
if [ ! -f "$build/.vq-makefiles" ]; then
  # Every Makefile of the libraries first: building sub-targets before that makes the install
  # rebuild everything. (Qt's own tests are left out: their Makefiles alone take minutes.)
  make -C "$build" -j"$jobs" sub-src-qmake_all
  touch "$build/.vq-makefiles"
fi

# Only what the program and its tests use.
make -C "$build/src" -j"$jobs" sub-corelib sub-network sub-gui sub-widgets sub-testlib \
  sub-platformsupport sub-platformheaders sub-winmain
for p in "${plugins[@]}"; do make -C "$build/src/plugins/$p" -j"$jobs"; done

# Installed piece by piece: the top-level install would build all the rest first.
# The bundled libraries (freetype, harfbuzz, png, pcre2) are linked into static programs.
for d in tools/moc tools/rcc tools/uic winmain corelib network gui widgets testlib platformsupport \
         platformheaders 3rdparty/freetype 3rdparty/harfbuzz-ng 3rdparty/libpng 3rdparty/pcre2; do
  if [ -f "$build/src/$d/Makefile" ]; then make -C "$build/src/$d" install; fi
done
for p in "${plugins[@]}"; do make -C "$build/src/plugins/$p" install; done
# qmake, its mkspecs (win32-g++ and the features) and syncqt: the add-on modules need them.
make -C "$build" sub-qmake-qmake-aux-pro-install_subtargets install_mkspecs install_syncqt
# The one-key print page is written with libpng: the static Qt's own copy, whose headers
# Qt does not install.
mkdir -p "$prefix/include/qtlibpng"
cp "$src"/src/3rdparty/libpng/{png.h,pngconf.h,pnglibconf.h} "$prefix/include/qtlibpng/"

# qtserialport: the git-made tarball carries no generated headers.
ssrc=$work/qtserialport-src
if [ ! -f "$ssrc/.vq-unpacked" ]; then
  rm -rf "$ssrc" && mkdir -p "$ssrc"
  tar -xf "$serial_from" -C "$ssrc" --strip-components=1
  perl "$src/bin/syncqt.pl" -module QtSerialPort -version $qtver -outdir "$ssrc" "$ssrc"
  touch "$ssrc/.vq-unpacked"
fi
sbuild=$work/qtserialport-build
mkdir -p "$sbuild"
(cd "$sbuild" && "$prefix/bin/qmake" "$ssrc" && make -j"$jobs" && make install)

secs=$(( $(date +%s) - start ))
runs=$(( $(wc -l <"$work/.vq-run-seconds" 2>/dev/null || echo 0) + 1 ))
total=$(( secs + $(awk '{ s += $1 } END { print s + 0 }' "$work/.vq-run-seconds" 2>/dev/null || echo 0) ))
{
  echo "Qt $qtver static, $cross (posix threads), built $(date -u +%FT%TZ) in ${total}s ($runs run(s))"
  echo "qtbase: $(basename "$qtbase_tar") (Debian source package)"
  echo "qtserialport: $serial_from ($(sha256sum "$serial_from" | cut -d' ' -f1))"
  echo "compiler: $($cross-g++ --version | head -1)"
  echo "patches: $patches"
  echo "configure: ${configure_args[*]}"
  echo "modules: $modules"
  echo "plugins: ${plugins[*]}"
} >"$info"
echo "build-qt-windows: done in $((secs / 60)) min $((secs % 60)) s; installed in $prefix ($(du -sh "$prefix" | cut -f1))"
