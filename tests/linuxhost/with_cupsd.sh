#!/usr/bin/env bash
# Runs a command against a private CUPS scheduler: its own configuration, spool and
# log folders in a fresh temporary folder, listening on a Unix socket only
# (CUPS_SERVER names it), with stand-in usb and ipp backends so their device URIs are accepted.
# Usage: with_cupsd.sh command [args...]
set -euo pipefail
die() { echo "with_cupsd: $2" >&2; exit "$1"; }
. "$(dirname "$0")/../../scripts/lib.sh"
cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
[ -x "$cupsd" ] && command -v lpadmin >/dev/null || die 1 "cupsd or lpadmin missing: run scripts/deps.sh"
[ "$(id -u)" -eq 0 ] || die 77 "the private scheduler needs root (it drops to lp for jobs)"
dir=$(mktemp -d /tmp/vqcupsd.XXXXXX)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
mkdir -p "$dir/conf" "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/bin/backend"
# Stand-in backends: they find no devices and print nothing (jobs stay held).
printf '#!/bin/sh\n[ $# -eq 0 ] && exit 0\nexit 1\n' | tee "$dir/bin/backend/ipp" > "$dir/bin/backend/usb"
chmod 0755 "$dir" "$dir/bin" "$dir/bin/backend" "$dir/bin/backend/usb" "$dir/bin/backend/ipp"
printf '%s\n' "Listen $dir/cups.sock" "Browsing No" "WebInterface No" "LogLevel warn" "PreserveJobHistory Yes" \
  "<Policy default>" "<Limit All>" "Order deny,allow" "</Limit>" "</Policy>" > "$dir/conf/cupsd.conf"
printf '%s\n' "ServerRoot $dir/conf" "ServerBin $dir/bin" "RequestRoot $dir/spool" "TempDir $dir/spool/tmp" \
  "CacheDir $dir/cache" "StateDir $dir/state" "Printcap $dir/state/printcap" "User lp" "Group lp" "SystemGroup root" \
  "ErrorLog $dir/log/error_log" "AccessLog $dir/log/access_log" "PageLog $dir/log/page_log" > "$dir/conf/cups-files.conf"
"$cupsd" -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" &
pid=$!
wait_for 10 eval '[ -S "$dir/cups.sock" ] || ! kill -0 "$pid" 2>/dev/null' || true
[ -S "$dir/cups.sock" ] || { cat "$dir/log/error_log" >&2 2>/dev/null || true; die 1 "the scheduler did not start (its log above)"; }
export CUPS_SERVER="$dir/cups.sock"
unset VQ_SIM_HOST
# A request on a node of a released testbed blocks for good: bound the run.
timeout -k 5 240 "$@" || exit $?
