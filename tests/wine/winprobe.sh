#!/usr/bin/env bash
# The Win32 half of the Windows host under Wine with code page 936: print queues named in
# ASCII and in Chinese must come back intact, their Port read under the same name.
# Runs the probe of the architecture this machine runs (scripts/wine-arch.sh), in a prefix of that kind.
#   winprobe.sh <state dir> <folder of vqwinprobe-i686.exe and vqwinprobe-x86_64.exe>
set -euo pipefail
here=$(dirname "$0")
arch=$("$here/../../scripts/wine-arch.sh")
state=$1/$arch probe=$2/vqwinprobe-$arch.exe
mkdir -p "$state"
[ "$arch" = i686 ] && echo win32 >"$state/arch" || echo win64 >"$state/arch"
echo "winprobe: $(basename "$probe") under $(cat "$state/arch") Wine"
"$here/registry.sh" "$state"
out=$("$here/../../scripts/wine.sh" "$state" "$probe" | tr -d '\r')
echo "$out"
fail=0
for want in "queue Office P1 port USB001 attributes 0x200 jobs -1" \
            "queue 办公室 port USB002 attributes 0x200 jobs -1" \
            "enumeration 0, 0 devices"; do
  grep -qxF "$want" <<<"$out" || { echo "FAIL: no line \"$want\""; fail=1; }
done
exit $fail
