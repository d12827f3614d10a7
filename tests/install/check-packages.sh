#!/usr/bin/env bash
# CPack makes the three Debian packages, each with its own files and with the
# dependencies apt needs to install it on a fresh machine.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build_dir" && cpack -G DEB -B "$work" >/dev/null)

deb() { ls "$work"/"$1"_*.deb; }
fail() { echo "$*"; exit 1; }
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
files() { dpkg-deb -c "$(deb "$1")" | awk '{print $6}'; }

files messageclient | grep -q 'libMessageClient\.so\.1$' || fail "runtime: no library"
files messageclient | grep -q 'bin/messageclient$' || fail "runtime: no module process"
files messageclient | grep -q '\.h$' && fail "runtime: carries headers"
field messageclient Depends | grep -q libqt5widgets5 || fail "runtime: Qt not declared"
field messageclient Depends | grep -q libavformat || fail "runtime: libavformat (saved clips) not declared"
files messageclient-dev | grep -q 'MessageClientConfig\.cmake$' || fail "dev: no CMake package"
files messageclient-dev | grep -q 'include/MessageClient/MessageClient\.h$' || fail "dev: no header"
field messageclient-dev Depends | grep -q 'messageclient (=' || fail "dev: runtime not required"
files messageclient-tools | grep -q 'bin/platform-sim$' || fail "tools: no simulator"
files messageclient-tools | grep -q 'bin/demo-host$' || fail "tools: no demo host"
files messageclient-tools | grep -q "messageclient-tools/libqttestability.so$" || fail "tools: no module driver"
field messageclient-tools Depends | grep -q libsqlite3 || fail "tools: sqlite not declared"
echo "three packages with their files and dependencies"
