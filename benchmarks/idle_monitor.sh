#!/usr/bin/env bash
# Idle cost of the monitor: CPU share of one core and resident memory, one printer
# attached on the simulated host, hidden in the tray (offscreen platform).
# Usage: benchmarks/idle_monitor.sh [seconds] [build dir]
set -euo pipefail
secs=${1:-60}
build=$(cd "${2:-build}" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
id='USB\VID_1A2B&PID_0101\QV0001'
mkdir -p "$root/usb/dev1" "$root/registry/Printers/Office" "$root/spooler/Office/jobs" \
         "$root/registry/DeviceClasses/##?#USB#VID_1A2B&PID_0101#QV0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}/#/Device Parameters"
printf '%s\n' "$id" > "$root/usb/dev1/instance_id"
# idle, toner 80 % (status memory digits shifted by 17)
sts=$(printf '0000000000008000000400001A1F401F40000000' | tr '0-9A-F' 'A-JR-W')
printf 'MDL:Morvane P4120W;ROMVER:V1.3.6500;SN:QV0001;TLL:10;STS:%s;' "$sts" > "$root/usb/dev1/ieee1284_id"
echo USB001 > "$root/registry/Printers/Office/Port"
echo 512 > "$root/registry/Printers/Office/Attributes"
echo 1 > "$root/registry/DeviceClasses/##?#USB#VID_1A2B&PID_0101#QV0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}/#/Device Parameters/Port Number"

copy="$root/bin"; mkdir -p "$copy"; cp "$build/bin/monitor" "$copy/monitor"   # own path: own instance
VQ_SIM_HOST="$root" QT_QPA_PLATFORM=offscreen "$copy/monitor" hide 2>/dev/null &
pid=$!
sleep 3
tick=$(getconf CLK_TCK)
read -r u0 s0 < <(awk '{print $14, $15}' "/proc/$pid/stat")
sleep "$secs"
read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$pid/stat")
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
VQ_SIM_HOST="$root" "$copy/monitor" exit 2>/dev/null || true
wait "$pid" || true
awk -v d=$(( (u1 + s1) - (u0 + s0) )) -v t="$tick" -v s="$secs" -v r="$rss" \
  'BEGIN { printf "idle monitor over %d s: %.3f %% of one core, %.1f MB resident\n", s, 100 * d / t / s, r / 1024 }'
