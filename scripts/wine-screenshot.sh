#!/usr/bin/env bash
# Screenshot of a Windows program's window under Wine, on an Xvfb of its own.
#   wine-screenshot.sh <state dir> <out.png> <program.exe> [args...]
# monitor.exe is waited for until it answers "isrun" and closed with "exit" afterwards; any
# other program (the setup) is given a few seconds to draw and then ended with its prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$1 out=$2 exe=$3
shift 3
mkdir -p "$state"
xvfb_pid="" prog_pid=""
# Only what this script started, by process id.
trap 'for p in $prog_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done' EXIT
. "$here/../tests/wine/lib.sh"
vq_xvfb "$state" || exit 1
unset QT_QPA_PLATFORM  # the windows platform, drawn on the Xvfb
w() { "$here/wine.sh" "$state" "$@"; }
# The prefix first (made on first use), so the wait below is the program's own.
# The Wine server starts here and keeps this stderr: its dump of objects at its end stays out.
w cmd /c ver >/dev/null 2>"$state/wine-start.log" || { cat "$state/wine-start.log" >&2; exit 1; }
w "$exe" "$@" >/dev/null 2>&1 & prog_pid=$!
if [ "$(basename "$exe")" = monitor.exe ]; then
  # isrun exits 1 once the monitor answers; then the window is given time to paint.
  wait_for 60 eval 'w "$exe" isrun >/dev/null 2>&1; [ $? -eq 1 ]' || true
  sleep 3
else
  sleep 8
fi
import -display "$VQ_WINE_DISPLAY" -window root "$out.full.png"
convert "$out.full.png" -trim +repage "$out"
rm -f "$out.full.png"
if [ "$(basename "$exe")" = monitor.exe ]; then
  w "$exe" exit >/dev/null 2>&1 || true
else
  WINEPREFIX=$state/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
fi
wait_for 15 eval '! kill -0 $prog_pid 2>/dev/null' || true
echo "screenshot: $out"
