#!/bin/sh
# Include circles among printerlink/ files: every quoted #include as an edge
# between units (x.h and x.cpp count as one), sorted by tsort, which names
# each loop it finds. Exit 0: no circle.
cd "$(dirname "$0")/.."
grep -rHo '^#include "[^"]*"' printerlink --include='*.h' --include='*.cpp' |
    while IFS=: read -r file inc; do
        inc=${inc#\#include \"}
        inc=${inc%\"}
        case $inc in
        printerlink/*) target=$inc ;;
        *) target=$(dirname "$file")/$inc ;;
        esac
        target=$(realpath -m --relative-to=. "$target")
        echo "${file%.*} ${target%.*}"
    done | awk '$1 != $2' | tsort >/dev/null
