# Sourced by the Wine test scripts.

# vq_xvfb <state dir>: an Xvfb of its own for Wine's windows (no TCP); sets xvfb_pid and
# VQ_WINE_DISPLAY (scripts/wine.sh draws there); returns 1 when it does not start.
vq_xvfb() {
  local fifo=$1/displayfd n
  rm -f "$fifo" && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
  xvfb_pid=$!
  read -r -t 20 n <"$fifo" || { rm -f "$fifo"; echo "xvfb: Xvfb did not start" >&2; return 1; }
  rm -f "$fifo"
  export VQ_WINE_DISPLAY=:$n
}

# Verdict lines; fail=1 after any "FAIL".
fail=0
ok() { echo "ok: $*"; }
bad() { echo "FAIL: $*"; fail=1; }

# wait_for <seconds> <command...>: until the command succeeds, checking four times a second.
wait_for() {
  local n=$(($1 * 4))
  shift
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.25; done
  return 1
}

# vq_winbus <state dir> <winbus dir> <host tree>: installs the stand-in USB printer bus into the
# state dir's prefix, reading the emulator's tree, and writes each queue of the tree into the
# registry as a printer's installation does (Port USB00n, Attributes). Says why on failure.
vq_winbus() {
  local w=(${VQ_REPO:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}/scripts/wine.sh "$1") q key
  local tree="Z:${3//\//\\}"
  "${w[@]}" "$2/vqwinbusinst.exe" install "$tree" >"$1/winbus-install.log" 2>&1 ||
    { echo "winbus: installing the bus failed: $(cat "$1/winbus-install.log")" >&2; return 1; }
  for q in "$3"/registry/Printers/*/; do
    [ -d "$q" ] || continue
    key="HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\$(basename "$q")"
    "${w[@]}" reg add "$key" /v Port /t REG_SZ /d "$(tr -d '\n' <"$q/Port")" /f >/dev/null 2>&1 &&
      "${w[@]}" reg add "$key" /v Attributes /t REG_DWORD /d "$(tr -d '\n' <"$q/Attributes")" /f >/dev/null 2>&1 ||
      { echo "winbus: reg add of queue $(basename "$q") failed" >&2; return 1; }
  done
}
