#!/usr/bin/env bash
# Idle cost of the hidden monitor (every worker thread running): CPU share of one
# core and resident memory, with no printer and with a printer that has no serial
# port, on the offscreen platform and on an X server of its own (Xvfb).
# Goal: under 1 % of one core and under 40 MB resident.
# Usage: benchmarks/idle_monitor.sh [seconds per run] [build dir]
set -euo pipefail
secs=${1:-30}
build=$(cd "${2:-build}" && pwd)
root=$(mktemp -d)
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$root"; }
trap cleanup EXIT
host="$root/host"; mkdir -p "$host"

add_printer() {
  local key='##%3F#USB#VID_1A2B&PID_0101#QV0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
  mkdir -p "$host/usb/dev1" "$host/registry/Printers/Office" "$host/spooler/Office/jobs" \
           "$host/registry/DeviceClasses/$key/#/Device Parameters"
  printf '%s\n' 'USB\VID_1A2B&PID_0101\QV0001' > "$host/usb/dev1/instance_id"
  # idle, toner 80 % (status memory digits shifted by 17); no serial port entry
  local sts
  sts=$(printf '0000000000008000000400001A1F401F40000000' | tr '0-9A-F' 'A-JR-W')
  printf 'MDL:Morvane P4120W;ROMVER:V1.3.6500;SN:QV0001;TLL:10;STS:%s;' "$sts" > "$host/usb/dev1/ieee1284_id"
  echo USB001 > "$host/registry/Printers/Office/Port"
  echo 512 > "$host/registry/Printers/Office/Attributes"
  echo 1 > "$host/registry/DeviceClasses/$key/#/Device Parameters/Port Number"
}

# measure LABEL ENV...: starts the hidden monitor with ENV, reports after $secs.
measure() {
  local label=$1; shift
  local copy="$root/bin"; mkdir -p "$copy"; cp "$build/bin/monitor" "$copy/monitor"   # own path: own instance
  env VQ_SIM_HOST="$host" "$@" "$copy/monitor" hide 2>/dev/null &
  local pid=$! tick u0 s0 u1 s1 rss
  sleep 3
  tick=$(getconf CLK_TCK)
  read -r u0 s0 < <(awk '{print $14, $15}' "/proc/$pid/stat")
  sleep "$secs"
  read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$pid/stat")
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  env VQ_SIM_HOST="$host" "$@" "$copy/monitor" exit >/dev/null 2>&1 || true
  wait "$pid" || true
  awk -v l="$label" -v d=$(( (u1 + s1) - (u0 + s0) )) -v t="$tick" -v s="$secs" -v r="$rss" \
    'BEGIN { printf "%-34s %6.3f %% of one core, %6.1f MB resident (%d s)\n", l, 100 * d / t / s, r / 1024, s }'
}

. "$(dirname "$0")/../scripts/lib.sh"
display=""
if command -v Xvfb >/dev/null && vq_start_xvfb "$root" 1920x1080x24; then
  display=$xvfb_display
fi

for printers in none no-serial-port; do
  [ "$printers" = no-serial-port ] && add_printer
  measure "offscreen, printer: $printers" QT_QPA_PLATFORM=offscreen
  if [ -n "$display" ]; then
    measure "Xvfb, printer: $printers" QT_QPA_PLATFORM=xcb DISPLAY="$display"
  else
    echo "Xvfb, printer: $printers: skipped, Xvfb is not installed"
  fi
done
