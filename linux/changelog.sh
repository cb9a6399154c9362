#!/usr/bin/env bash
# The package's changelog in Debian's format, made from CHANGES.md ("## <version> (<yyyy-mm-dd>)"
# headings over "- " items) and gzip-compressed as Debian keeps it.
# Usage: changelog.sh <CHANGES.md> <package> <maintainer> <out.gz>
set -euo pipefail
in=$1 pkg=$2 maint=$3 out=$4
awk -v pkg="$pkg" -v maint="$maint" '
  function wrap(text,   n, words, i, line) {
    n = split(text, words, " ")
    line = "  *"
    for (i = 1; i <= n; i++) {
      if (length(line) + 1 + length(words[i]) > 78 && line !~ /^ *\*?$/) { print line; line = "   " }
      line = line " " words[i]
    }
    print line
  }
  function item() { if (text != "") wrap(text); text = "" }
  function close_entry(   cmd, when) {
    item()
    if (version == "") return
    cmd = "LC_ALL=C date -R -u -d " day
    cmd | getline when
    close(cmd)
    print ""
    print " -- " maint "  " when
    print ""
  }
  /^## / {
    close_entry()
    if (!match($0, /^## [^ ]+ \([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\)$/)) { print "changelog: bad heading: " $0 > "/dev/stderr"; exit 1 }
    version = $2; day = substr($3, 2, 10)
    print pkg " (" version ") unstable; urgency=medium"
    print ""
    next
  }
  version == "" { next }
  /^- / { item(); text = substr($0, 3); next }
  /^  +[^ ]/ && text != "" { sub(/^ +/, ""); text = text " " $0; next }
  { item() }
  END { close_entry(); if (version == "") { print "changelog: no version heading" > "/dev/stderr"; exit 1 } }
' "$in" | gzip -9n >"$out.tmp"
mv "$out.tmp" "$out"
