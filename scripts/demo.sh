#!/usr/bin/env bash
# The demo: builds everything, runs the real monitor on a simulated host under
# Xvfb (when there is no display), steps the printers through the demo states
# and saves one screenshot per state under <build>/screenshots/.
# The printers are played by printersim with its demo scenario.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${VQ_BUILD_DIR:-build}
# Safety net of the LAN upgrade: nothing the demo starts talks beyond 127.0.0.0/8.
export VQ_LOOPBACK_ONLY=1

# VQ_DEMO_SKIP_BUILD=1: use the programs already built (quick reruns).
if [ "${VQ_DEMO_SKIP_BUILD:-0}" != 1 ]; then
  scripts/deps.sh
  gen=()
  command -v ninja >/dev/null && [ ! -f "$build/CMakeCache.txt" ] && gen=(-G Ninja)
  cmake -S . -B "$build" "${gen[@]}" >/dev/null
  cmake --build "$build" -j"${VQ_JOBS:-2}"
fi
build=$(cd "$build" && pwd)
shots=$build/screenshots
mkdir -p "$shots"
rm -f "$shots"/*.png

work=$(mktemp -d /tmp/vqdemo.XXXXXX)
host=$work/host
mkdir -p "$host"
xvfb_pid="" sim_pid="" mon_pid="" bench_pid=""

stop() {
  # Only what this script started, by process id.
  if [ -n "$mon_pid" ] && kill -0 "$mon_pid" 2>/dev/null; then kill "$mon_pid" 2>/dev/null || true; wait "$mon_pid" 2>/dev/null || true; fi
  if [ -n "$bench_pid" ] && kill -0 "$bench_pid" 2>/dev/null; then kill "$bench_pid" 2>/dev/null || true; wait "$bench_pid" 2>/dev/null || true; fi
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap stop EXIT

. scripts/lib.sh
if [ -z "${DISPLAY:-}" ]; then
  vq_start_xvfb "$work" 1280x800x24 || { echo "demo: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=$xvfb_display
fi

ctl=$work/sim.control
mkdir -p "$work/out"
"$build/bin/printersim" --host "$host" --printers 2 --control 0 --control-file "$ctl" --out "$work/out" --load "$src/printersim/scenarios/demo.scn" \
    >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for 30 grep -qx ready "$work/sim.log" || { echo "demo: printersim did not start" >&2; cat "$work/sim.log" >&2; exit 1; }
# Extra control lines may follow the state's name.
set_state() { local s=$1; shift; "$build/bin/printersim" --send "$ctl" "state $s" "$@" >/dev/null; }
echo "demo: printers played by printersim, display $DISPLAY"

set_state no-printer
log=$work/monitor.log
VQ_SIM_HOST=$host QT_QPA_PLATFORM=xcb "$build/bin/monitor" >"$log" 2>&1 &
mon_pid=$!
wait_for 30 grep -q "FvqMain::showEvent" "$log" || { echo "demo: the monitor did not show" >&2; cat "$log" >&2; exit 1; }
if ! kill -0 "$mon_pid" 2>/dev/null; then
  echo "demo: the monitor ended at once (another monitor from $build/bin running?)" >&2
  exit 1
fi

# The window sits at the origin of the bare X screen (no window manager).
grab() {
  sleep 0.25  # let the last change paint
  import -display "$DISPLAY" -window root -crop 793x507+0+0 +repage "$shots/$1.png"
  echo "demo: $shots/$1.png"
}

# Waits for a change line of the monitor's log, after line $1, that matches $2.
shows() { tail -n +"$(( $1 + 1 ))" "$log" | grep "FvqMain::vqWhenOnCoreTrdChange" | grep -Eq -- "$2"; }

step() {
  local name=$1 pattern=$2
  shift 2
  local before
  before=$(wc -l <"$log")
  set_state "$name" "$@" || { echo "demo: could not set state $name" >&2; exit 1; }
  if [ -n "$pattern" ]; then
    wait_for 20 shows "$before" "$pattern" || { echo "demo: state $name not shown" >&2; tail -5 "$log" >&2; exit 1; }
  fi
  grab "$name"
}

step no-printer ""
# Each state: its name, the change line that shows it, extra control lines.
# The jams sit in tray 1 (location bits 0x10 "tray" + 0x04 "tray 1" = 20).
head='^FvqMain::vqWhenOnCoreTrdChange'
step idle80 "$head n=1 \[[^]]*connected=1 pa=0 toner=80 faults=0 src=0\]$"
step printing "$head n=1 \[[^]]*connected=1 pa=[46] toner=80 "
step toner5 "$head n=1 \[[^]]*connected=1 pa=0 toner=5 faults=1 src=0\]$"
step jam-cover "$head n=1 \[[^]]*connected=1 pa=[0-9] toner=60 faults=2 src=20\]$"
step six-faults "$head n=1 \[[^]]*connected=1 pa=[0-9] toner=40 faults=6 src=20\]$"
step two-printers "$head n=2 \[[^]]*connected=1 pa=0 toner=55 faults=0 src=0\] \[[^]]*connected=1 pa=[46] toner=30 "

# One-key print: press the first printer's key; the monitor prints this screen there.
"$build/bin/printersim" --send "$ctl" "@p1 key" "@p1 wait printed 1 timeout=30000" >/dev/null ||
  { echo "demo: one-key print printed nothing" >&2; tail -5 "$log" >&2; exit 1; }
page=$(ls "$work/out"/printed_p1_*.png | tail -1)
cp "$page" "$shots/onekeyprint-page.png"
echo "demo: $shots/onekeyprint-page.png (the page one key press printed)"

# Closes the running monitor ($1, the program) the way an installer would; rc is its exit code.
close_monitor() {
  "$1" exit >/dev/null 2>&1 || true
  wait_for 30 bash -c "! kill -0 $mon_pid 2>/dev/null" || { echo "demo: $1 did not close" >&2; exit 1; }
  wait "$mon_pid" && rc=0 || rc=$?
  mon_pid=""
}
close_monitor "$build/bin/monitor"
echo "demo: monitor closed (exit code $rc); screenshots in $shots"

# The test bench on the same printers, pointed at p1's port and web address:
# one poll cycle (its second button), then a screenshot.
sim_field() { sed -n "s/^printer p1 .*$1=\([^ ]*\).*/\1/p" "$work/sim.log"; }
bench_http=$(sim_field http)
[[ $bench_http == 127.* ]] || bench_http=127.0.0.1
blog=$work/bench.log
VQ_SIM_HOST=$host VQ_BENCH_COM=$(sim_field pty) VQ_BENCH_HTTP=$bench_http VQ_BENCH_SCANDIR=$work/scans \
  VQ_BENCH_CLICK=pushButton_2 QT_QPA_PLATFORM=xcb "$build/bin/bench" >"$blog" 2>&1 &
bench_pid=$!
bench_shown() { grep -q 'clicked "pushButton_2"' "$blog" 2>/dev/null && grep -q '^main ' "$blog"; }
wait_for 30 bench_shown || { echo "demo: the bench did not show its cycle" >&2; cat "$blog" >&2; exit 1; }
sleep 0.25
import -display "$DISPLAY" -window root -crop 1000x680+0+0 +repage "$shots/bench.png"
echo "demo: $shots/bench.png"
kill "$bench_pid" 2>/dev/null || true
wait "$bench_pid" 2>/dev/null || true
bench_pid=""
# The all-services monitor on a printer with old firmware: its tray alert, bottom-right of the
# screen. Its LAN pass has no hosts to ask.
set_state firmware-notice
log=$work/allon.log
VQ_SIM_HOST=$host VQ_UPROM_IFACES=127.0.0.1/255.255.255.255 QT_QPA_PLATFORM=xcb "$build/bin/monitor_allon" >"$log" 2>&1 &
mon_pid=$!
wait_for 30 grep -qs "vqShowTrayAlert" "$log" || { echo "demo: no tray alert" >&2; tail -5 "$log" >&2; exit 1; }
sleep 0.25
import -display "$DISPLAY" -window root "$shots/tray-alert.png"
echo "demo: $shots/tray-alert.png"
close_monitor "$build/bin/monitor_allon"
"$build/bin/printersim" --send "$ctl" quit >/dev/null 2>&1 || true
wait_for 10 bash -c "! kill -0 $sim_pid 2>/dev/null" || true

# The Windows program under Wine: the build this machine's Wine runs (scripts/wine-arch.sh), and
# the first page of its setup in each language. Built here when its cross Qt is at hand (made,
# or in the prebuilt archive); an hour-long Qt build is left to the test command.
arch=$(scripts/wine-arch.sh)
if [ "$arch" = i686 ]; then
  win=${VQ_BUILD_WIN:-$src/build-win} warch=win32
else
  win=${VQ_BUILD_WIN64:-$src/build-win64} warch=win64
fi
if [ "${VQ_DEMO_SKIP_BUILD:-0}" != 1 ]; then
  if [ -f "$HOME/.cache/vqmonitor/qt5-$arch/vq-build-info.txt" ] || ls "$src"/../shared/cache/qt5-"$arch"-*.tar.xz >/dev/null 2>&1; then
    { VQ_WIN_ARCH=$arch scripts/build-qt-windows.sh && VQ_WIN_ARCH=$arch scripts/build-windows.sh; } >"$work/windows-build.log" 2>&1 ||
      { tail -n 20 "$work/windows-build.log" >&2; echo "demo: the Windows program could not be built (above)" >&2; }
  else
    echo "demo: no Windows screenshots: no cross Qt for $arch yet (scripts/test.sh or VQ_WIN_ARCH=$arch scripts/build-qt-windows.sh makes it, about an hour)" >&2
  fi
fi
if [ -x "$win/bin/monitor.exe" ]; then
  mkdir -p "$win/wine-demo" && echo $warch >"$win/wine-demo/arch"
  scripts/wine-screenshot.sh "$win/wine-demo" "$shots/windows-no-printer.png" "$win/bin/monitor.exe" ||
    echo "demo: no screenshot of the Windows program" >&2
  # On the emulated printers, found by the program's own Windows host through the stand-in USB
  # printer bus: idle, a jam in tray 1 with the cover open, two printers. The tray alert of the
  # all-services build comes from the simulated host's run.
  mkdir -p "$work/simshots"
  VQ_BUILD_DIR=$build VQ_MONITOR_ALLON=$win/bin/monitor_allon.exe \
    tests/wine/simmonitor.sh "$win/wine-demo" "$win/bin/monitor.exe" "$work/simshots" >/dev/null &&
    cp "$work/simshots/windows-tray-alert.png" "$shots/" || echo "demo: no tray alert of the Windows program" >&2
  mkdir -p "$win/wine-demo-realhost" && echo $warch >"$win/wine-demo-realhost/arch"
  VQ_BUILD_DIR=$build tests/wine/realhost.sh "$win/wine-demo-realhost" "$win/bin/monitor.exe" "$win/winbus" "$shots" ||
    echo "demo: the Windows program on the emulated printers failed" >&2
  for lang in zh:2052 en:1033 ru:1049; do
    scripts/wine-screenshot.sh "$win/wine-demo" "$shots/windows-setup-${lang%%:*}.png" "$win"/vqmonitor-*setup.exe \
      "/LANG=${lang#*:}" || echo "demo: no screenshot of the setup" >&2
  done
fi
