#!/usr/bin/env bash
# Writes two USB printer queues into a Wine prefix's registry, as Windows keeps them: one named
# in ASCII, one in Chinese, each with its device key and port number.
#   registry.sh <state dir>
set -euo pipefail
here=$(dirname "$0") state=$1
guid='{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
printers='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Print\Printers'
classes="HKLM\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\$guid"
# Wine's reg says what went wrong on its standard output: shown when it fails. A first start
# beside another one in a fresh prefix has failed once without a word: tried again.
reg() {
  for _ in 1 2 3; do
    out=$("$here/../../scripts/wine.sh" "$state" reg add "$@" /f 2>&1) && return 0
    sleep 2
  done
  echo "registry: reg add $* failed 3 times: ${out:-(no output)}" >&2
  return 1
}
n=0
for q in "Office P1" "办公室"; do
  n=$((n + 1))
  reg "$printers\\$q" /v Port /t REG_SZ /d "USB00$n"
  reg "$printers\\$q" /v Attributes /t REG_DWORD /d 512  # direct, not offline, no two-way
  reg "$classes\\##?#USB#VID_1A2B&PID_010$n#QV000$n#$guid\\#\\Device Parameters" /v "Port Number" /t REG_DWORD /d $n
done
