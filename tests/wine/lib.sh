# Sourced by the Wine test scripts.
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

# vq_xvfb <state dir>: an Xvfb of its own for Wine's windows; sets xvfb_pid and
# VQ_WINE_DISPLAY (scripts/wine.sh draws there); returns 1 when it does not start.
vq_xvfb() {
  vq_start_xvfb "$1" || return 1
  export VQ_WINE_DISPLAY=$xvfb_display
}

# Verdict lines; fail=1 after any "FAIL".
fail=0
ok() { echo "ok: $*"; }
bad() { echo "FAIL: $*"; fail=1; }
