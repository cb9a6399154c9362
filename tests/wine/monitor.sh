#!/usr/bin/env bash
# monitor.exe end to end under Wine (no printer): its command-line verbs and exit codes, and
# one instance at a time over the named pipe.
#   monitor.sh <state dir> <monitor.exe>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$1 exe=$2
# The program carries only the windows platform; Wine without a display serves it.
unset QT_QPA_PLATFORM
fail=0
run() { "$here/vqwine.sh" "$state" "$exe" "$@" 2>"$state/monitor.err"; }
expect() {  # expect <exit code> <verb...>
  local want=$1
  shift
  run "$@" >/dev/null
  local rc=$?
  if [ "$rc" -eq "$want" ]; then echo "ok: $* -> $rc"; else echo "FAIL: $* -> $rc, want $want"; fail=1; fi
}
expect 0 ver
expect 255 frobnicate           # -1 as a process exit code
expect 255 hasjob               # a verb without its queue
expect 0 getdevct
expect 0 hasdev
expect 0 hasjob "no such queue"
expect 0 isrun

# One instance: the first stays, a second start says so and exits 1, isrun sees it, exit ends it.
run >/dev/null &
first=$!
# isrun exits 1 once an instance answers.
for _ in $(seq 60); do
  run isrun >/dev/null
  [ $? -eq 1 ] && break
  sleep 1
done
expect 1 isrun
expect 1
# Text-mode stderr on Windows ends lines with CR LF, as Windows programs do.
tr -d '\r' <"$state/monitor.err" | grep -q "already running\.$" || { echo "FAIL: no \"already running.\" line"; fail=1; }
expect 1 exit
for _ in $(seq 30); do
  kill -0 $first 2>/dev/null || break
  sleep 1
done
if kill -0 $first 2>/dev/null; then
  echo "FAIL: the first instance did not exit"
  kill $first
  fail=1
else
  wait $first
  rc=$?
  [ "$rc" -eq 0 ] && echo "ok: first instance exited" || { echo "FAIL: first instance exit code $rc"; fail=1; }
fi
expect 0 isrun
exit $fail
