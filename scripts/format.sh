#!/usr/bin/env bash
# Formats the tracked C++ files with the repository's .clang-format.
# --check: only lists the files that are not formatted and fails when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
  bad=0
  for f in "${files[@]}"; do
    if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
      echo "$f"
      bad=1
    fi
  done
  exit $bad
fi
clang-format -i "${files[@]}"
