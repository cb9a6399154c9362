#!/usr/bin/env bash
# Installs the build into a fresh prefix and packs it with CPack, then checks both
# layouts, the manual page and changelog, the package's dependencies (Debian names,
# none pinned above what this release ships), what lintian says, and that apt would
# install it.
# Usage: check_package.sh <build dir> <version>
set -euo pipefail
build=$(cd "$1" && pwd) version=$2
tmp=$(mktemp -d /tmp/vqpkg.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

files=(libexec/vqmonitor/monitor bin/vqmonitor share/applications/vqmonitor.desktop
       share/icons/hicolor/64x64/apps/vqmonitor.png lib/udev/rules.d/70-vqmonitor.rules
       share/man/man1/vqmonitor.1.gz share/doc/vqmonitor/changelog.gz)
cmake --install "$build" --prefix "$tmp/x" >/dev/null
for f in "${files[@]}" etc/xdg/autostart/vqmonitor-autostart.desktop; do
  [ -f "$tmp/x/$f" ] || fail "not installed: $f"
done
[ "$(cd "$tmp/x" && find . -type f -o -type l | sort | wc -l)" -eq $((${#files[@]} + 1)) ] || fail "unexpected files: $(cd "$tmp/x" && find . -type f -o -type l)"
[ "$("$tmp/x/bin/vqmonitor" ver)" = "ver: $version" ] || fail "bin/vqmonitor does not run the monitor of $version"
grep -qx 'Exec=vqmonitor hide' "$tmp/x/etc/xdg/autostart/vqmonitor-autostart.desktop" || fail "autostart does not hide"
file -b "$tmp/x/share/icons/hicolor/64x64/apps/vqmonitor.png" | grep -q '^PNG image data, 64 x 64' || fail "icon"
rules="$tmp/x/lib/udev/rules.d/70-vqmonitor.rules"
[ "$(grep -c 'ATTRS\?{idVendor}=="1a2b".*TAG+="uaccess"' "$rules")" -eq 3 ] || fail "rule does not cover device, node and port"
grep -q 'ttyACM.*ENV{ID_MM_DEVICE_IGNORE}="1"' "$rules" || fail "modem manager not told to ignore the port"
[ "$(MANPATH=$tmp/x/share/man man -w vqmonitor)" = "$tmp/x/share/man/man1/vqmonitor.1.gz" ] || fail "man finds no vqmonitor page"
warnings=$(man --warnings -l "$tmp/x/share/man/man1/vqmonitor.1.gz" 2>&1 >/dev/null) || fail "man page: $warnings"
[ -z "$warnings" ] || fail "man page: $warnings"
zcat "$tmp/x/share/doc/vqmonitor/changelog.gz" >"$tmp/changelog"
logversion=$(dpkg-parsechangelog -l "$tmp/changelog" -S Version) || fail "changelog does not parse"
[ "$logversion" = "$version" ] || fail "changelog's latest entry is $logversion, the package $version (CHANGES.md)"

(cd "$build" && cpack -G DEB -B "$tmp/pkg" >/dev/null) || fail "cpack failed"
deb=$(ls "$tmp"/pkg/*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in "${files[@]/#/./usr/}" ./etc/xdg/autostart/vqmonitor-autostart.desktop; do
  grep -qx "$f" <<<"$contents" || fail "package lacks $f"
done
# The bench is a developer's tool; the scripts touch only our vendor's devices,
# and removing the package takes the rule's access away.
grep -q bench <<<"$contents" && fail "package carries the bench"
dpkg-deb -e "$deb" "$tmp/control"
for s in postinst postrm; do
  [ -x "$tmp/control/$s" ] || fail "package lacks $s"
  grep -q 'udevadm control --reload-rules' "$tmp/control/$s" || fail "$s does not reload the rules"
  grep 'udevadm trigger' "$tmp/control/$s" | grep -qv -- '--parent-match' && fail "$s triggers more than our devices"
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libcups2 libqt5serialport5 libqt5widgets5 xdg-utils; do
  grep -q "\b$d\b" <<<"$depends" || fail "package does not depend on $d: $depends"
done
# Every dependency a Debian package whose version here satisfies the bound.
deps=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; /^$/d')
names=$(awk '{print $1}' <<<"$deps")
# shellcheck disable=SC2086
candidates=$(apt-cache policy $names 2>/dev/null | awk '/^[^ ]/ {n=$1; sub(":$", "", n)} /Candidate:/ {print n, $2}')
while read -r name op ver; do
  have=$(awk -v n="$name" '$1 == n {print $2}' <<<"$candidates")
  [ -n "$have" ] && [ "$have" != "(none)" ] || fail "no Debian package $name"
  if [ -n "$op" ]; then
    op=${op#(}; ver=${ver%)}
    dpkg --compare-versions "$have" "$op" "$ver" || fail "$name pinned to $op $ver, this release has $have"
  fi
done <<<"$deps"
# Debian's package checker. What it may still say, and why: the license and the contact are
# the owner's to choose, so there is no copyright file to ship yet and the maintainer address
# is a placeholder on localhost (which the package's changelog repeats).
allowed="no-copyright-file bogus-mail-host bogus-mail-host-in-debian-changelog"
command -v lintian >/dev/null || fail "lintian missing: run scripts/deps.sh"
said=$(lintian "$deb" 2>/dev/null) || true
unexpected=$(awk -F': ' -v ok=" $allowed " '{split($3, t, " ")} index(ok, " " t[1] " ") == 0' <<<"$said")
[ -z "$unexpected" ] || fail "lintian says: $unexpected"
apt-get install -s -qq "$deb" >/dev/null || fail "apt would not install $deb"
echo "check_package: install layout and $(basename "$deb") ok"
