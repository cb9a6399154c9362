#!/bin/sh
# Include circles in the library, the monitor and the emulator: every quoted
# #include as an edge between units (x.h and x.cpp count as one), sorted by
# tsort, which names each loop it finds. Exit 0: no circle.
cd "$(dirname "$0")/.." || exit 1
trees="printerlink monitor printersim"
# shellcheck disable=SC2086
grep -rHo '^#include "[^"]*"' $trees --include='*.h' --include='*.cpp' |
    while IFS=: read -r file inc; do
        inc=${inc#\#include \"}
        inc=${inc%\"}
        case $inc in
        printerlink/* | monitor/* | printersim/*) target=$inc ;;
        *) target=$(dirname "$file")/$inc ;;
        esac
        target=$(realpath -m --relative-to=. "$target")
        echo "${file%.*} ${target%.*}"
    done | awk '$1 != $2' | tsort >/dev/null || {
    echo "include-loops: the units above include each other" >&2
    exit 1
}
