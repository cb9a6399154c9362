#!/usr/bin/env bash
# Runs a Windows program (or a Wine tool such as "reg") under Wine in a prefix of its own:
# win32 or win64, Chinese code page (936), no debug chatter, no window on the caller's display.
#   wine.sh <state dir> <program> [args...]
# The state dir holds the prefix and the zh_CN locale Wine takes its code page from, made on
# first use under a lock so tests may share it. Its architecture: VQ_WINE_ARCH, else the file
# "arch" in the state dir (the Windows build writes it), else win32.
set -euo pipefail
mkdir -p "$1"
state=$(cd "$1" && pwd)
shift
arch=${VQ_WINE_ARCH:-$(cat "$state/arch" 2>/dev/null || echo win32)}
case $arch in
  win32) wine=$(command -v wine || command -v wine-stable || true) ;;
  # Debian's "wine" takes the 32-bit loader whenever wine32 is installed, runnable or not.
  win64) wine=/usr/lib/wine/wine64 && export WINELOADER=$wine && [ -x "$wine" ] || wine="" ;;
  *) echo "wine.sh: architecture must be win32 or win64, not $arch" >&2; exit 2 ;;
esac
[ -n "$wine" ] || { echo "wine.sh: wine for $arch missing: run scripts/deps.sh" >&2; exit 2; }
# The locale is our own (the machine need not have zh_CN) and for Wine only.
export WINEPREFIX=$state/prefix WINEARCH=$arch WINEDEBUG=${VQ_WINEDEBUG:--all} LOCPATH=$state/locale
zh=(env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)
# Wine keeps the caller's QT_* variables from Windows programs; it hands on WINEQT_* as QT_*.
for name in $(compgen -e); do [[ $name != QT_* ]] || export "WINE$name=${!name}"; done
[ -n "${VQ_WINE_DISPLAY:-}" ] && export DISPLAY=$VQ_WINE_DISPLAY || unset DISPLAY
(
  flock 9
  if [ ! -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$LOCPATH"
    localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" >/dev/null 2>&1 ||
      [ -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ] || { echo "wine.sh: localedef zh_CN failed" >&2; exit 2; }
  fi
  [ -f "$WINEPREFIX/.vq-ready" ] && exit 0
  # Wine that cannot start says why here, not as an empty failure later.
  msg=$("$wine" --version 2>&1) || { echo "wine.sh: $wine ($arch) cannot start: $msg" >&2; exit 2; }
  # No Mono or Gecko prompts: nothing here needs them. The registry reaches the disk when the
  # server ends.
  rc=0
  "${zh[@]}" WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >"$state/wineboot.log" 2>&1 || rc=$?
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  if [ "$rc" -ne 0 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine.sh: making the $arch prefix $WINEPREFIX failed (wineboot exit $rc); $state/wineboot.log says:" >&2
    tail -n 20 "$state/wineboot.log" >&2
    rm -rf "$WINEPREFIX"  # half a prefix would fail the same way next time
    exit 2
  fi
  touch "$WINEPREFIX/.vq-ready"
) 9>"$state/lock"
exec "${zh[@]}" "$wine" "$@"
