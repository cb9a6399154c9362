#!/usr/bin/env bash
# Runs a Windows program (or a Wine tool such as "reg") under Wine in a prefix of its own:
# 32-bit (win32) or 64-bit (win64), Chinese system code page (936), no debug chatter, no window
# on the caller's display.
#   vqwine.sh <state dir> <program> [args...]
# The state dir holds the prefix and the zh_CN locale Wine takes its code page from; it is
# made on first use, under a lock, so tests may share it. Its architecture comes from
# VQ_WINE_ARCH, else from the file "arch" in the state dir (the Windows build writes it), else win32.
set -euo pipefail
state=$1
shift
mkdir -p "$state"
state=$(cd "$state" && pwd)
arch=${VQ_WINE_ARCH:-$(cat "$state/arch" 2>/dev/null || echo win32)}
case $arch in
  win32) wine=$(command -v wine || command -v wine-stable || true) ;;
  win64)
    # Debian's "wine" takes the 32-bit loader whenever wine32 is installed, runnable or not.
    wine=/usr/lib/wine/wine64
    [ -x "$wine" ] || wine=""
    export WINELOADER=$wine
    ;;
  *) echo "vqwine: architecture must be win32 or win64, not $arch" >&2; exit 2 ;;
esac
[ -n "$wine" ] || { echo "vqwine: wine for $arch missing: run scripts/deps.sh" >&2; exit 2; }
export WINEPREFIX=$state/prefix WINEARCH=$arch WINEDEBUG=-all
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
    # Wine that cannot start says why here, not as an empty failure later.
    if ! msg=$("$wine" --version 2>&1); then
      echo "vqwine: $wine ($arch) cannot start: $msg" >&2
      exit 2
    fi
    # No Mono or Gecko prompts: nothing here needs them.
    rc=0
    "${zh[@]}" WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >"$state/wineboot.log" 2>&1 || rc=$?
    # The registry reaches the disk when the server ends.
    /usr/lib/wine/wineserver -w 2>/dev/null || true
    if [ "$rc" -ne 0 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "vqwine: making the $arch prefix $WINEPREFIX failed (wineboot exit $rc); $state/wineboot.log says:" >&2
      tail -n 20 "$state/wineboot.log" >&2
      # Half a prefix would fail the same way next time: the next call starts afresh.
      rm -rf "$WINEPREFIX"
      exit 2
    fi
    touch "$WINEPREFIX/.vq-ready"
  fi
) 9>"$state/lock"
exec "${zh[@]}" "$wine" "$@"
