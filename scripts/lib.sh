# shellcheck shell=bash
# Sourced by the bash scripts that wait for something or need an X server of their own.

# wait_for <seconds> <command...>: until the command succeeds, checking four times a second
# (at most 4 x <seconds> tries). Returns 1 when it never did.
wait_for() {
  local n=$(($1 * 4))
  shift
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.25; done
  return 1
}

# vq_start_xvfb <folder> [WxHxD]: an Xvfb on a free display, no TCP; sets xvfb_pid and
# xvfb_display (":N"). Returns 1 when it did not start within 20 s. The caller ends it.
vq_start_xvfb() {
  local fifo=$1/displayfd n
  rm -f "$fifo" && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${2:-1024x768x24}" -nolisten tcp 3>"$fifo" 2>/dev/null &
  xvfb_pid=$!
  read -r -t 20 n <"$fifo" || { rm -f "$fifo"; echo "xvfb: Xvfb did not start" >&2; return 1; }
  rm -f "$fifo"
  xvfb_display=:$n
}
