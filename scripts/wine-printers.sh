#!/usr/bin/env bash
# Plays N printers (default 1) to Windows programs under Wine as a Windows machine shows USB
# printers: installs the stand-in USB printer bus (built by scripts/build-windows.sh) into a
# prefix, starts the emulator with its serial ports as COM5, COM6 ... of that prefix, writes the
# printers' queues into the registry, and keeps them until Ctrl-C. Builds nothing.
#   wine-printers.sh [N]
# Then, in another terminal, with no VQ_SIM_HOST:
#   scripts/wine.sh <state dir> build-win/bin/monitor.exe
# and drive the printers with: printersim --send <state dir>/printers.ctl "state jam-cover" ...
#   VQ_WINE_PRINTERS  state dir of the prefix (default build-win/wine-printers, or
#                     build-win64/wine-printers where the tests run the 64-bit build)
#   VQ_BUILD_DIR      the Linux build holding the emulator (default build)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-1}
[[ $n =~ ^[0-9]+$ ]] && [ "$n" -ge 1 ] && [ "$n" -le 16 ] || { echo "usage: wine-printers.sh [N]   (1 to 16 printers)" >&2; exit 2; }
arch=$("$repo/scripts/wine-arch.sh")
[ "$arch" = i686 ] && win=${VQ_BUILD_WIN:-$repo/build-win} || win=${VQ_BUILD_WIN64:-$repo/build-win64}
state=${VQ_WINE_PRINTERS:-$win/wine-printers}
sim=$(cd "$repo" && realpath -m "${VQ_BUILD_DIR:-build}")/bin/printersim
[ -x "$sim" ] || { echo "wine-printers: no emulator at $sim: build the Linux tree first" >&2; exit 1; }
[ -f "$win/winbus/vqwinbus.sys" ] || { echo "wine-printers: no stand-in bus in $win/winbus: run VQ_WIN_ARCH=$arch scripts/build-windows.sh" >&2; exit 1; }
mkdir -p "$state" && state=$(cd "$state" && pwd)
[ "$arch" = i686 ] && echo win32 >"$state/arch" || echo win64 >"$state/arch"
. "$repo/tests/wine/lib.sh"
w() { "$repo/scripts/wine.sh" "$state" "$@"; }
host=$state/host
sim_pid="" keep_pid=""
# The session ends before the emulator: Wine's server holds a serial port as its terminal,
# and the port's hang-up when the emulator quits would end the session abruptly.
trap 'kill $keep_pid 2>/dev/null; vq_wine_end "$state/prefix"
      kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null' EXIT
trap 'exit 0' INT TERM
w cmd /c ver >/dev/null 2>&1 || { echo "wine-printers: no Wine prefix in $state" >&2; exit 1; }
# One session while the printers play: Wine ends its services (and the bus) with the last
# program. A cmd reads a fifo whose only writer is our sleep; ending the sleep ends it.
keep() {
  rm -f "$state/keep" && mkfifo "$state/keep"
  sleep 100000 >"$state/keep" & keep_pid=$!
  "$repo/scripts/wine.sh" "$state" cmd <"$state/keep" >/dev/null 2>&1 &
}
keep
rm -rf "$host"
"$sim" --host "$host" --printers "$n" --control 0 --control-file "$state/printers.ctl" --out "$state/out" \
  --wine-prefix "$state/prefix" --load "$repo/printersim/scenarios/demo.scn" --exit-with-parent \
  >"$state/printersim.log" 2>&1 & sim_pid=$!
wait_for 30 grep -qx ready "$state/printersim.log" || { echo "wine-printers: the emulator did not start: $(cat "$state/printersim.log")" >&2; exit 1; }
vq_winbus "$state" "$win/winbus" "$host"
# A new session loads the bus at its start, as every later session does (Wine serves a bus
# started mid-session by the installer less well).
kill $keep_pid; WINEPREFIX=$state/prefix /usr/lib/wine/wineserver -w 2>/dev/null
keep
grep '^printer ' "$state/printersim.log"
cat <<EOF
wine-printers: $n printer(s) on the stand-in bus of $state/prefix; Ctrl-C ends them.
  monitor:  scripts/wine.sh $state $win/bin/monitor.exe
  control:  $sim --send $state/printers.ctl "state jam-cover"
EOF
wait $sim_pid
