#!/usr/bin/env bash
# monitor.exe's own Windows host under Wine (no VQ_SIM_HOST): the emulator's printers reach it
# through the stand-in USB printer bus (printersim/winbus), in a prefix of this test's own made
# afresh, so the other tests' prefix never holds the driver. getdevct and hasdev count the
# printers and follow an unplug; the window follows idle, a jam in tray 1 with the cover open,
# two printers, an unplug and replug; the queue is found through the registry; one key press
# stores one page over the COM port the serial-port listing names by serial number; the
# identification reply is read with and without its length prefix; a held reply costs a poll.
#   realhost.sh <state dir> <monitor.exe> <winbus dir> [screenshot folder]
# The emulator is the Linux build's (VQ_BUILD_DIR, default build/).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
state=$1 exe=$2 bus=$3 shots=${4:-}
sim=$(cd "$repo" && realpath -m "${VQ_BUILD_DIR:-build}")/bin/printersim
. "$here/lib.sh"
[ -x "$sim" ] || { bad "no emulator at $sim: build the Linux tree first"; exit 1; }
[ -f "$bus/vqwinbus.sys" ] && [ -f "$bus/vqwinbusinst.exe" ] || { bad "no stand-in bus in $bus: build the Windows tree"; exit 1; }
mkdir -p "$state" && state=$(cd "$state" && pwd)
[ -f "$state/arch" ] || { bad "no $state/arch: the Windows build writes it"; exit 1; }
w() { "$repo/scripts/wine.sh" "$state" "$@"; }
work=$(mktemp -d "${TMPDIR:-/tmp}/vqrealhost.XXXXXX")
xvfb_pid="" sim_pids="" mon_pid="" keep_pid=""
# keep: one Wine session for the whole test (Wine ends its services, the bus too, with the
# last program): a cmd reading a fifo whose only writer is a sleep of ours; unkeep ends that
# sleep, and cmd ends at the end of its input.
keep() {
  rm -f "$work/keep" && mkfifo "$work/keep"
  sleep 100000 >"$work/keep" & keep_pid=$!
  "$repo/scripts/wine.sh" "$state" cmd <"$work/keep" >/dev/null 2>&1 &
}
unkeep() { kill $keep_pid 2>/dev/null; wait $keep_pid 2>/dev/null; keep_pid=""; }
# The session ends before the emulators: Wine's server holds an emulator's serial port as its
# terminal, and the port's hang-up when the emulator quits would end the session under the test.
trap 'kill $mon_pid 2>/dev/null; unkeep; vq_wine_end "$state/prefix"
      kill $sim_pids 2>/dev/null; wait $sim_pids 2>/dev/null; kill $xvfb_pid 2>/dev/null; rm -rf "$work"' EXIT
vq_wine_end "$state/prefix"
rm -rf "$state/prefix"  # a driver and devices of an earlier run must not carry over
vq_xvfb "$state" || exit 1
w cmd /c ver >/dev/null 2>"$state/wine-start.log" || { bad "no Wine prefix: $(cat "$state/wine-start.log")"; exit 1; }
keep

start_sim() {  # start_sim <name> [emulator options...]: an emulator on the tree $work/<name>
  local name=$1
  shift
  mkdir -p "$work/$name" "$work/out"
  "$sim" --host "$work/$name" --control 0 --control-file "$work/$name.ctl" --out "$work/out" \
    --load "$repo/printersim/scenarios/demo.scn" --exit-with-parent "$@" >"$work/$name.log" 2>&1 &
  sim_pids+=" $!"
  wait_for 30 grep -qx ready "$work/$name.log" || { bad "the emulator ($*) did not start: $(cat "$work/$name.log")"; return 1; }
}
ctl=$work/host.ctl
send() { "$sim" --send "$ctl" "$@" >/dev/null; }
start_sim host --printers 2 --wine-prefix "$state/prefix" || exit 1
send "state idle80"
vq_winbus "$state" "$bus" "$work/host" || { bad "no stand-in bus in the prefix"; exit 1; }
# A new session loads the bus at its start, as every later session does (Wine serves a bus
# started mid-session by the installer less well).
unkeep; WINEPREFIX=$state/prefix /usr/lib/wine/wineserver -w 2>/dev/null
keep

unset QT_QPA_PLATFORM  # monitor.exe has only the windows platform
export QT_FORCE_STDERR_LOGGING=1
answers() { w "$exe" "$verb" >/dev/null 2>&1; got=$?; [ $got -eq "$want" ]; }
count() {  # count <verb> <want> <case>: the bus follows within a poll or two
  verb=$1 want=$2
  wait_for 15 answers && ok "$verb -> $want ($3)" || bad "$verb -> $got, want $want ($3)"
}
count getdevct 1 "p1 plugged"
count hasdev 1 "p1 plugged"
send "state two-printers"
count getdevct 2 "two printers"
send "@p2 unplug"
count getdevct 1 "p2 unplugged"
send "@p2 plug"
count getdevct 2 "p2 plugged again"

# hasjob on a queue found through the registry: Wine's spooler keeps no job of another program.
w "$exe" hasjob "Morvane P4120W" >/dev/null 2>&1; echo "realhost: hasjob on the registry's queue under Wine -> $?"

send "state idle80"
log=$work/monitor.log
"$repo/scripts/wine.sh" "$state" "$exe" >/dev/null 2>"$log" & mon_pid=$!
wait_for 60 grep -q "FvqMain::showEvent" "$log" || bad "the window did not show"
head='^FvqMain::vqWhenOnCoreTrdChange'
shows() { wait_for 20 bash -c "tr -d '\r' <'$log' | grep '$head' | tail -1 | grep -Eq -- '$head $1'"; }
step() {  # step <name> <state line pattern> [control lines...]
  local name=$1 want=$2
  shift 2
  send "$@" && shows "$want" && ok "the window shows $name" && { [[ $name == *\ * ]] || vq_shot "$shots" "$name"; } ||
    bad "the window does not show $name: $(tr -d '\r' <"$log" | grep "$head" | tail -1)"
}
step idle80 "n=1 \[[^]]*connected=1 pa=0 toner=80 faults=0 src=0\]$" "state idle80"
step jam-cover "n=1 \[[^]]*connected=1 pa=[0-9] toner=60 faults=2 src=20\]$" "state jam-cover"
step two-printers "n=2 \[[^]]*connected=1 pa=0 toner=55 " "state two-printers"
step "p2 unplugged" "n=1 \[" "@p2 unplug"
step "p2 replugged" "n=2 \[[^]]*connected=1 .*\[[^]]*connected=1 " "@p2 plug"

# One key press: the monitor finds p1's COM port through the serial-port listing (the bus's
# serial function), grabs the screen and sends one page, stored by the emulator.
printed() { "$sim" --send "$ctl" "status p1" | grep '^status p1 ' | grep -o ' printed=[0-9]*' | cut -d= -f2; }
want=$(($(printed) + 1))
page=$work/out/$(printf 'printed_p1_%04d.png' $want)
if send "@p1 key" "@p1 wait printed $want timeout=60000"; then
  sleep 2.5  # two more passes of the port loop: still one page
  [ "$(printed)" = $want ] && [ -s "$page" ] && ok "one key press, one page stored" ||
    bad "after one key press: printed $(printed), want $want, page $page"
else
  bad "no page after the key press"
fi

# The reply as firmware without the length prefix sends it: a second emulator's tree, which the
# running bus is pointed at (its printer has the same serial number, so the device stays).
start_sim bare --printers 2 --bare-id && w "$bus/vqwinbusinst.exe" tree "Z:${work//\//\\}\\bare" >/dev/null 2>&1 &&
  ctl=$work/bare.ctl && step "the bare reply" "n=1 \[[^]]*connected=1 pa=0 toner=80 faults=0 src=0\]$" "state idle80"
head -c1 "$work/bare/usb/USB#VID_1A2B&PID_0101#QV0001/ieee1284_id" | grep -q "[A-Z]" || bad "the second emulator's reply is not bare"

# A reply held by the printer: getdevct still answers and the window still closes when told to.
# The window goes about 4 s after "exit", held reply or not: Wine's X11 driver waits 2 s for a
# window manager, which this Xvfb lacks, to confirm each window it hides (ours, then explorer's
# tray icon). So the time is only printed; a window that stays, as one waiting on the request
# would, fails.
touch "$work/bare/usb/USB#VID_1A2B&PID_0101#QV0001/read_holds"
sleep 2  # the next poll is waiting on the held request
w "$exe" getdevct >/dev/null 2>&1; rc=$?
[ $rc -eq 1 ] && ok "getdevct -> 1 with a held reply" || bad "getdevct -> $rc with a held reply, want 1"
w "$exe" exit >/dev/null 2>&1
t0=$(date +%s%N)
wait_for 10 eval '! kill -0 $mon_pid 2>/dev/null'
gone=$((($(date +%s%N) - t0) / 1000000))
[ "$gone" -lt 10000 ] && { ok "the window closed with a reply held (after ${gone} ms)"; mon_pid=""; } ||
  bad "the window stayed open with a reply held"
exit $fail
