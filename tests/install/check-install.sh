#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, builds a tiny host against it
# with find_package(MessageClient) and starts the window through it. With no
# live host window the module closes itself and the process ends with code 0,
# having written its log: proof that the installed library ran.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
cmake -S "$source_dir/tests/install/tinyhost" -B "$work/host" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/host" >/dev/null

export MESSAGECLIENT_LOG_DIR="$work/log" QT_QPA_PLATFORM=offscreen
# Nothing of the build tree may be what the host finds.
if ldd "$work/host/tinyhost" | grep -F "$build_dir"; then
  echo "tiny host resolves a library from the build tree"
  exit 1
fi
timeout 30 "$work/host/tinyhost" "ParentWnd:0;Token:t" || { echo "tiny host ended with $?"; exit 1; }
grep -rq "MessageClient" "$work/log" || { echo "the installed module wrote no log"; exit 1; }
timeout 30 "$work/prefix/bin/messageclient" "ParentWnd:0;Token:t" || { echo "installed process ended with $?"; exit 1; }
echo "installed tree: tiny host built and started the module"
