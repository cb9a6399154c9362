#!/usr/bin/env bash
# Screenshot of monitor.exe under Wine on an Xvfb of its own (no printer attached).
#   screenshot.sh <state dir> <monitor.exe> <out.png>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$1 exe=$2 out=$3
mkdir -p "$state"
xvfb_pid="" mon_pid=""
stop() {
  # Only what this script started, by process id.
  if [ -n "$mon_pid" ] && kill -0 "$mon_pid" 2>/dev/null; then kill "$mon_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap stop EXIT
fifo=$state/displayfd
rm -f "$fifo" && mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb_pid=$!
read -r -t 20 n <"$fifo" || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
rm -f "$fifo"
export VQ_WINE_DISPLAY=:$n
unset QT_QPA_PLATFORM  # the windows platform, drawn on the Xvfb
"$here/vqwine.sh" "$state" "$exe" >/dev/null 2>&1 &
mon_pid=$!
for _ in $(seq 120); do
  "$here/vqwine.sh" "$state" "$exe" isrun >/dev/null 2>&1 && break
  sleep 0.5
done
sleep 3  # let the window paint
import -display ":$n" -window root "$out.full.png"
convert "$out.full.png" -trim +repage "$out"
rm -f "$out.full.png"
"$here/vqwine.sh" "$state" "$exe" exit >/dev/null 2>&1 || true
for _ in $(seq 30); do kill -0 "$mon_pid" 2>/dev/null || break; sleep 0.5; done
echo "screenshot: $out"
