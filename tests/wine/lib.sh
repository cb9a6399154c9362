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

# vq_wine_end <prefix>: ends the prefix's Wine session, and the programs of it that outlive their
# server (the stand-in bus's winedevice.exe can), found by their WINEPREFIX.
vq_wine_end() {
  local p
  WINEPREFIX=$1 /usr/lib/wine/wineserver -k 2>/dev/null
  for p in $(pgrep -f '\.exe'); do
    { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$1" && kill "$p" 2>/dev/null
  done
}

# vq_shot <folder> <name>: Wine's screen (VQ_WINE_DISPLAY), trimmed, as <folder>/windows-<name>.png
# once the last change has painted; nothing without a folder.
vq_shot() {
  [ -n "$1" ] || return 0
  sleep 1
  import -display "$VQ_WINE_DISPLAY" -window root "$1/.full.png" &&
    convert "$1/.full.png" -trim +repage "$1/windows-$2.png" && rm -f "$1/.full.png" && echo "screenshot: $1/windows-$2.png"
}
