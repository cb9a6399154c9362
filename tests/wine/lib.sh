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
