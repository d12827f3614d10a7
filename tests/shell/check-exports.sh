#!/usr/bin/env bash
# Every C++ class or function the library exports belongs to MessageClient.
set -euo pipefail
lib=$1
symbols=$(nm -DC --defined-only "$lib" | awk '{ $1=""; $2=""; sub(/^  /, ""); print }')
echo "$symbols" | grep -q '^MessageClient::MessageClient(' || { echo "MessageClient is not exported"; exit 1; }
others=$(echo "$symbols" | grep '::' | grep -v -E '^(non-virtual thunk to |typeinfo (name )?for |vtable for )?MessageClient::|^(typeinfo (name )?for |vtable for )MessageClient$' || true)
if [ -n "$others" ]; then
  echo "exported besides MessageClient:"
  echo "$others" | head -n 20
  exit 1
fi
echo "exports: only MessageClient"
