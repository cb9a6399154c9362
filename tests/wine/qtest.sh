#!/usr/bin/env bash
# Runs a QtTest program under Wine. Its report goes to a file, shown afterwards: a Wine
# process's redirected standard output arrives empty.
#   qtest.sh <state dir> <test.exe> [test arguments...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$1 exe=$2
shift 2
report=$(mktemp "${TMPDIR:-/tmp}/vqqtest.XXXXXX")
trap 'rm -f "$report"' EXIT
# Wine's drive Z: is the Linux root. The offscreen platform reads fonts from a folder, not
# from Windows: hand it the CJK font the Linux tests use (scripts/deps.sh installs it).
export QT_QPA_FONTDIR=${QT_QPA_FONTDIR:-Z:/usr/share/fonts/truetype/wqy}
# The emulator-driven tests start the Linux build's emulator (windows.sh sets VQ_BUILD_DIR).
[ -n "${VQ_BUILD_DIR:-}" ] && export VQ_SIM_BIN=${VQ_SIM_BIN:-$(cd "$VQ_BUILD_DIR" && pwd)/bin/printersim}
"$here/../../scripts/wine.sh" "$state" "$exe" "$@" -o "Z:${report//\//\\},txt"
rc=$?
tr -d '\r' <"$report"
exit $rc
