#!/usr/bin/env bash
# Screenshot of a Windows program's window under Wine, on an Xvfb of its own.
#   screenshot.sh <state dir> <out.png> <program.exe> [args...]
# monitor.exe is waited for until it answers "isrun" and closed with "exit" afterwards; any
# other program (the setup) is given a few seconds to draw and then ended with its prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$1 out=$2 exe=$3
shift 3
mkdir -p "$state"
xvfb_pid="" prog_pid=""
stop() {
  # Only what this script started, by process id.
  if [ -n "$prog_pid" ] && kill -0 "$prog_pid" 2>/dev/null; then kill "$prog_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap stop EXIT
. "$here/lib.sh"
vq_xvfb "$state" || exit 1
unset QT_QPA_PLATFORM  # the windows platform, drawn on the Xvfb
# The prefix first (made on first use), so the wait below is the program's own.
# The Wine server starts here and keeps this stderr: its dump of objects at its end stays out.
"$here/vqwine.sh" "$state" cmd /c ver >/dev/null 2>"$state/wine-start.log" ||
  { cat "$state/wine-start.log" >&2; exit 1; }
"$here/vqwine.sh" "$state" "$exe" "$@" >/dev/null 2>&1 &
prog_pid=$!
monitor=0
[ "$(basename "$exe")" = monitor.exe ] && monitor=1
if [ $monitor = 1 ]; then
  # isrun exits 1 once the monitor answers.
  for _ in $(seq 120); do
    rc=0
    "$here/vqwine.sh" "$state" "$exe" isrun >/dev/null 2>&1 || rc=$?
    [ $rc -eq 1 ] && break
    sleep 0.5
  done
  sleep 3  # let the window paint
else
  sleep 8
fi
import -display "$VQ_WINE_DISPLAY" -window root "$out.full.png"
convert "$out.full.png" -trim +repage "$out"
rm -f "$out.full.png"
if [ $monitor = 1 ]; then
  "$here/vqwine.sh" "$state" "$exe" exit >/dev/null 2>&1 || true
else
  WINEPREFIX=$state/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
fi
for _ in $(seq 30); do kill -0 "$prog_pid" 2>/dev/null || break; sleep 0.5; done
echo "screenshot: $out"
