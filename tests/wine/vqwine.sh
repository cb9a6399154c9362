#!/usr/bin/env bash
# Runs a Windows program (or a Wine tool such as "reg") under Wine in a prefix of its own:
# 32-bit, Chinese system code page (936), no debug chatter, no window on the caller's display.
#   vqwine.sh <state dir> <program> [args...]
# The state dir holds the prefix and the zh_CN locale Wine takes its code page from; it is
# made on first use, under a lock, so tests may share it.
set -euo pipefail
state=$1
shift
mkdir -p "$state"
state=$(cd "$state" && pwd)
wine=$(command -v wine || command -v wine-stable || true)
[ -n "$wine" ] || { echo "vqwine: wine missing: run scripts/deps.sh" >&2; exit 2; }
export WINEPREFIX=$state/prefix WINEARCH=win32 WINEDEBUG=-all
# A locale of our own: the machine need not have zh_CN generated. Set for Wine only.
export LOCPATH=$state/locale
zh=(env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)
# Wine keeps the caller's QT_* variables from Windows programs; it hands on WINEQT_* as QT_*.
for name in $(compgen -e); do
  case $name in QT_*) export "WINE$name=${!name}" ;; esac
done
[ -n "${VQ_WINE_DISPLAY:-}" ] && export DISPLAY=$VQ_WINE_DISPLAY || unset DISPLAY
(
  flock 9
  if [ ! -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$LOCPATH"
    localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" >/dev/null 2>&1 || true
    [ -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ] || { echo "vqwine: localedef zh_CN failed" >&2; exit 2; }
  fi
  if [ ! -f "$WINEPREFIX/.vq-ready" ]; then
    # No Mono or Gecko prompts: nothing here needs them.
    "${zh[@]}" WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1
    "${wine%/*}/wineserver${wine##*/wine}" -w 2>/dev/null || true
    touch "$WINEPREFIX/.vq-ready"
  fi
) 9>"$state/lock"
exec "${zh[@]}" "$wine" "$@"
