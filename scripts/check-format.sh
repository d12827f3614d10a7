#!/usr/bin/env bash
# Fails when a C or C++ file under version control is not formatted as
# .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."

files=$(git ls-files -- '*.cpp' '*.h' '*.hpp' '*.c' 2>/dev/null || true)
[ -n "$files" ] || exit 0
bad=0
for f in $files; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "format: $f is not clang-formatted (run: clang-format -i $f)"
    bad=1
  fi
done
exit $bad
