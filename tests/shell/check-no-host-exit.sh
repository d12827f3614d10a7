#!/usr/bin/env bash
# Started with a host handle that names no live host, the module's process
# closes its window during construction and ends with exit code 0.
set -uo pipefail
timeout 20 "$1" "ParentWnd:0;Token:t"
rc=$?
if [ $rc -ne 0 ]; then
  echo "exit code $rc (124 means it did not end)"
  exit 1
fi
echo "ended with 0"
