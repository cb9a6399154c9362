#!/usr/bin/env bash
# monitor.exe under Wine on printers played by the Linux emulator: the simulated host tree named
# by a Z: path, each printer's serial port a COM port of the prefix. getdevct and hasdev count
# the printers, the window follows their states, one key press on the printer stores one page.
#   simmonitor.sh <state dir> <monitor.exe> [screenshot folder]
# With a folder it also saves the window (idle, a jam in tray 1 with the cover open, two
# printers) as windows-<state>.png. With VQ_MONITOR_ALLON naming the all-services monitor.exe,
# that one then tells of old firmware in its tray alert (windows-tray-alert.png); its LAN pass
# has no hosts to ask. The emulator is the Linux build's (VQ_BUILD_DIR, default build/).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
state=$1 exe=$2 shots=${3:-}
sim=$(cd "$repo" && realpath -m "${VQ_BUILD_DIR:-build}")/bin/printersim
. "$here/lib.sh"
[ -x "$sim" ] || { bad "no emulator at $sim: build the Linux tree first"; exit 1; }
w() { "$here/../../scripts/wine.sh" "$state" "$@"; }
work=$(mktemp -d "${TMPDIR:-/tmp}/vqsimmon.XXXXXX")
xvfb_pid="" sim_pid="" mon_pid=""
# Only what this script started, by process id; the prefix's processes before their display
# (Wine's desktop dies noisily without it).
trap 'kill $mon_pid $sim_pid 2>/dev/null; WINEPREFIX=$state/prefix /usr/lib/wine/wineserver -k 2>/dev/null
      kill $xvfb_pid 2>/dev/null; rm -rf "$work"' EXIT
vq_xvfb "$state" || exit 1
# After the Xvfb: Wine's desktop takes the display its server starts with. The Wine server
# starts here and keeps this stderr: its dump of objects at its end stays out.
w cmd /c ver >/dev/null 2>"$state/wine-start.log" || { bad "no Wine prefix: $(cat "$state/wine-start.log")"; exit 1; }
mkdir -p "$work/host" "$work/out"
"$sim" --host "$work/host" --printers 2 --control 0 --control-file "$work/ctl" --out "$work/out" \
  --wine-prefix "$state/prefix" --load "$repo/printersim/scenarios/demo.scn" \
  >"$work/sim.log" 2>&1 & sim_pid=$!
wait_for 30 grep -qx ready "$work/sim.log" || { bad "the emulator did not start: $(cat "$work/sim.log")"; exit 1; }
send() { "$sim" --send "$work/ctl" "$@" >/dev/null; }
export VQ_SIM_HOST="Z:${work//\//\\}\\host"
unset QT_QPA_PLATFORM  # monitor.exe has only the windows platform
# A GUI program's log goes to the debugger on Windows; the window's state lines are read here.
export QT_FORCE_STDERR_LOGGING=1
shot() { vq_shot "$shots" "$1"; }
close_monitor() {
  w "$1" exit >/dev/null 2>&1
  wait_for 30 eval '! kill -0 $mon_pid 2>/dev/null' && { ok "$(basename "$1") closed"; mon_pid=""; } || bad "$1 did not close"
}

send "state two-printers"
w "$exe" getdevct >/dev/null 2>&1; rc=$?
[ $rc -eq 2 ] && ok "getdevct counts 2 printers" || bad "getdevct $rc, want 2"
w "$exe" hasdev >/dev/null 2>&1; rc=$?
[ $rc -eq 1 ] && ok "hasdev 1" || bad "hasdev $rc, want 1"

send "state idle80"
log=$work/monitor.log
w "$exe" 2>"$log" & mon_pid=$!
wait_for 60 grep -q "FvqMain::showEvent" "$log" || bad "the window did not show"
# The window reports each state in a change line: waits for the last one to match.
head='^FvqMain::vqWhenOnCoreTrdChange'
shows() { wait_for 20 bash -c "tr -d '\r' <'$log' | grep '$head' | tail -1 | grep -Eq -- '$head $1'"; }
for step in "idle80|n=1 \[[^]]*connected=1 pa=0 toner=80 faults=0 src=0\]$" \
            "jam-cover|n=1 \[[^]]*connected=1 pa=[0-9] toner=60 faults=2 src=20\]$" \
            "two-printers|n=2 \[[^]]*connected=1 pa=0 toner=55 "; do
  name=${step%%|*}
  send "state $name"
  shows "${step#*|}" && ok "the window shows $name" || bad "the window does not show $name"
  shot "$name"
done

# One key press on the printer: the monitor hears it over COM5, grabs Wine's screen and sends
# one page, stored by the emulator.
printed() { "$sim" --send "$work/ctl" "status p1" | grep '^status p1 ' | grep -o ' printed=[0-9]*' | cut -d= -f2; }
want=$(($(printed) + 1))
page=$work/out/$(printf 'printed_p1_%04d.png' $want)
if send "@p1 key" "@p1 wait printed $want timeout=60000"; then
  sleep 2.5  # two more passes of the port loop: still one page
  [ "$(printed)" = $want ] && [ -s "$page" ] && ok "one key press, one page stored ($(identify -format '%wx%h' "$page" 2>/dev/null))" ||
    bad "after one key press: printed $(printed), want $want, page $page"
else
  bad "no page after the key press"
fi
close_monitor "$exe"

if [ -n "${VQ_MONITOR_ALLON:-}" ]; then
  send "state firmware-notice"
  log=$work/allon.log
  VQ_LOOPBACK_ONLY=1 VQ_UPROM_IFACES=127.0.0.1/255.255.255.255 w "$VQ_MONITOR_ALLON" 2>"$log" & mon_pid=$!
  if wait_for 60 grep -qs "vqShowTrayAlert" "$log"; then
    ok "the tray alert tells of old firmware"
    shot tray-alert
  else
    bad "no tray alert for old firmware"
  fi
  close_monitor "$VQ_MONITOR_ALLON"
fi
send quit
exit $fail
