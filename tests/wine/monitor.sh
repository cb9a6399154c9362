#!/usr/bin/env bash
# monitor.exe end to end under Wine (no printer): its command-line verbs and exit codes, and
# one instance at a time over the named pipe.
#   monitor.sh <state dir> <monitor.exe>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$1 exe=$2
. "$here/lib.sh"
unset QT_QPA_PLATFORM  # the program carries only the windows platform; Wine without a display serves it
run() { "$here/../../scripts/wine.sh" "$state" "$exe" "$@" >/dev/null 2>"$state/monitor.err"; }
expect() {  # expect <exit code> <verb...>
  run "${@:2}"; local rc=$?
  [ "$rc" -eq "$1" ] && ok "${*:2} -> $rc" || bad "${*:2} -> $rc, want $1"
}
expect 0 ver
expect 255 frobnicate  # -1 as a process exit code
expect 255 hasjob      # a verb without its queue
expect 0 getdevct
expect 0 hasdev
expect 0 hasjob "no such queue"
expect 0 isrun

wine() { "$here/../../scripts/wine.sh" "$state" "$@"; }
dos=$(wine winepath -w "$exe" | tr -d '\r')
short=$(wine winepath -s "$dos" | tr -d '\r')
[ "$short" != "$dos" ] || bad "Wine gave no 8.3 name for $dos"

# One instance: the first stays, a second start says so and exits 1, isrun sees it (exit 1
# once an instance answers), exit ends it. Windows hands a program its path as typed: other
# spellings of it are the same monitor (a second one would run on, so they have a time limit).
run & first=$!
wait_for 30 eval 'run isrun; [ $? -eq 1 ]'
expect 1 isrun
expect 1
# Text-mode stderr on Windows ends lines with CR LF, as Windows programs do.
tr -d '\r' <"$state/monitor.err" | grep -q "already running\.$" || bad "no \"already running.\" line"
for spelling in "${dos^^}" "$short"; do
  timeout 60 "$here/../../scripts/wine.sh" "$state" "$spelling" hide >/dev/null 2>&1; rc=$?
  [ "$rc" -eq 1 ] && ok "started as $spelling -> 1" || bad "started as $spelling -> $rc, want 1 (a second monitor)"
done
expect 1 exit
wait_for 30 eval '! kill -0 $first 2>/dev/null' || { bad "the first instance did not exit"; kill $first; }
wait $first; rc=$?
[ "$rc" -eq 0 ] && ok "first instance exited" || bad "first instance exit code $rc"
expect 0 isrun

# Without a temporary folder for its lock the monitor still runs (unguarded, and says why);
# only a lock held by a live monitor means "already running".
# cmd takes no quotes from Wine's command line: the 8.3 path has no spaces.
wine cmd /c "set TMP=C:\\vq-no-such-folder&& set TEMP=C:\\vq-no-such-folder&& $short hide" \
  >/dev/null 2>"$state/notemp.err" & first=$!
wait_for 30 eval 'run isrun; [ $? -eq 1 ]' && ok "runs without a temporary folder" ||
  bad "no monitor without a temporary folder: $(tr -d '\r' <"$state/notemp.err" | tail -n 2)"
grep -q "running without single-instance check" "$state/notemp.err" && ok "says it runs unguarded" ||
  bad "no word of the missing lock"
expect 1 exit
wait_for 30 eval '! kill -0 $first 2>/dev/null' || { bad "the unguarded monitor did not exit"; kill $first; }
wait $first
exit $fail
