#!/usr/bin/env bash
# The setup under Wine in a fresh prefix: silent install, what it leaves (files, autostart,
# installed-programs entry, Start menu), a second install over a running monitor (asked to
# close, running the new files afterwards), silent uninstall over a hung monitor (ended, as its
# pipe and windows no longer answer), nothing of it left.
#   installer.sh <state dir> <setup.exe> <another monitor.exe> <version>
# The second setup is made here from the same script with another build of the monitor, so the
# upgrade can be told apart.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
state=$(cd "$1" && pwd) setup=$2 other=$(realpath "$3") version=$4
arch=$(cat "$state/arch" 2>/dev/null || echo win32)
setup2=$state/upgrade-setup.exe
[ "$arch" = win64 ] && nsis_arch=amd64 || nsis_arch=x86
makensis -V1 -DARCH=$nsis_arch -DVERSION="$version" -DEXE="$other" -DOUT="$setup2" "$here/../../windows/vqmonitor.nsi" ||
  { echo "FAIL: makensis"; exit 1; }
# A fresh prefix of the build's architecture for each run.
st=$state/installer
rm -rf "$st" && mkdir -p "$st" && echo "$arch" >"$st/arch"
w() { "$here/../../scripts/wine.sh" "$st" "$@"; }
. "$here/lib.sh"
dir="$st/prefix/drive_c/Program Files/vqmonitor"
win='C:\Program Files\vqmonitor'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
un_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\vqmonitor'
regval() { w reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
links() { find "$st/prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" -name '*.lnk' 2>/dev/null | wc -l; }
# timed <what> <command...>: runs it, says how long it took, fails on a non-zero exit.
timed() {
  t0=$(date +%s%3N)
  "${@:2}"; rc=$?
  echo "installer: $1 took $(($(date +%s%3N) - t0)) ms (exit $rc)"
  [ "$rc" -eq 0 ] || bad "$1: exit $rc"
}
# isrun exits 1 while the installed monitor runs.
running() { w "$win\\monitor.exe" isrun >/dev/null 2>&1; [ $? -eq 1 ]; }
unset QT_QPA_PLATFORM  # the installed monitor has only the windows platform

w cmd /c ver >/dev/null || { echo "FAIL: no Wine prefix"; exit 1; }
timed "silent install" w "$setup" /S
for f in monitor.exe uninstall.exe firmware; do [ -e "$dir/$f" ] && ok "installed $f" || bad "no $f in $dir"; done
[ "$(regval "$run_key" vqmonitor)" = "\"$win\\monitor.exe\" hide" ] && ok "autostart for every user" ||
  bad "autostart value: $(regval "$run_key" vqmonitor)"
for v in DisplayName DisplayVersion Publisher EstimatedSize UninstallString QuietUninstallString; do
  val=$(regval "$un_key" "$v")
  [ -n "$val" ] && ok "installed-programs $v: $val" || bad "installed-programs entry lacks $v"
done
[ "$(regval "$un_key" QuietUninstallString)" = "\"$win\\uninstall.exe\" /S" ] || bad "quiet uninstall command"
[ "$(links)" -ge 1 ] && ok "Start-menu entry" || bad "no Start-menu entry"

# The monitor runs; a second install closes it, replaces it and starts the new one.
w "$win\\monitor.exe" hide >/dev/null 2>&1 & first=$!
wait_for 60 running && ok "monitor started" || bad "monitor did not start"
before=$(md5sum <"$dir/monitor.exe")
timed "install over the running monitor" w "$setup2" /S
wait_for 30 eval '! kill -0 $first 2>/dev/null' && ok "the running monitor closed" || bad "the old monitor still runs"
wait $first; rc=$?
[ "$rc" -eq 0 ] && ok "it closed when asked" || bad "the old monitor ended with $rc, not closed when asked"
[ "$(md5sum <"$dir/monitor.exe")" != "$before" ] && ok "monitor.exe replaced" || bad "monitor.exe not replaced"
wait_for 60 running && ok "the new monitor runs" || bad "no monitor runs after the upgrade"
w "$win\\monitor.exe" exit >/dev/null 2>&1
wait_for 30 eval '! running' || bad "the new monitor did not exit"

# A hung monitor (stopped: its pipe takes the request, nothing reads it) is found by its file.
# exec: the job's own process is the monitor, which the stop must reach.
(exec "$here/../../scripts/wine.sh" "$st" "$win\\monitor.exe" hide >/dev/null 2>&1) & hung=$!
wait_for 60 running || bad "monitor did not start"
kill -STOP $hung
t0=$(date +%s%3N)
w "$win\\uninstall.exe" /S
# The uninstaller runs from a copy of itself and returns at once: wait for its work.
wait_for 60 test ! -e "$dir/uninstall.exe"
kill -CONT $hung
wait_for 30 eval '! kill -0 $hung 2>/dev/null' && ok "the hung monitor was ended" || { bad "the hung monitor runs"; kill $hung; }
timeout 60 /usr/lib/wine/wineserver -w 2>/dev/null
echo "installer: silent uninstall took $(($(date +%s%3N) - t0)) ms"
[ ! -e "$dir" ] && ok "installation folder removed" || bad "left behind: $(ls -A "$dir" 2>/dev/null | tr '\n' ' ')"
[ -z "$(regval "$run_key" vqmonitor)" ] && ok "autostart removed" || bad "autostart left"
w reg query "$un_key" >/dev/null 2>&1 && bad "installed-programs entry left" || ok "installed-programs entry removed"
[ "$(links)" -eq 0 ] && ok "Start-menu entry removed" || bad "Start-menu entry left"
# Everything Wine ran has ended: nothing of the monitor is left running.
timeout 30 /usr/lib/wine/wineserver -w && ok "nothing left running" || bad "processes left running"
exit $fail
