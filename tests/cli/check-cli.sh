#!/usr/bin/env bash
# The programs' command lines: --version prints the project's version, --help
# ends with 0 (without a display: neither opens a window); the module's process
# logs under the XDG state directory by default and ends with 1, not an abort,
# without a display.
# usage: check-cli.sh BIN_DIR VERSION
set -uo pipefail
bin=$1 version=$2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# No display for any of them: help and version must not need one.
run() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$@" >"$work/out" 2>"$work/err"; }

for program in messageclient platform-sim demo-host; do
  run "$bin/$program" --version
  rc=$?
  [ $rc -eq 0 ] || fail "$program --version ended with $rc: $(cat "$work/err")"
  grep -qx "$program $version" "$work/out" || fail "$program --version printed '$(cat "$work/out")'"
  run "$bin/$program" --help
  rc=$?
  [ $rc -eq 0 ] || fail "$program --help ended with $rc: $(cat "$work/err")"
  [ -s "$work/out" ] || fail "$program --help printed nothing on stdout"
done

# Only an exact option is one: a launch string that merely starts with it is
# a launch string (here one without a host, so the window closes: 0).
QT_QPA_PLATFORM=offscreen MESSAGECLIENT_LOG_DIR="$work/log" timeout 20 "$bin/messageclient" "--helpParentWnd:0" \
  >"$work/out" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "messageclient with a launch string starting with --help ended with $rc"
grep -q '^Usage' "$work/out" && fail "messageclient took a launch string for --help"

# Logs under $XDG_STATE_HOME when no log directory is named.
env -u MESSAGECLIENT_LOG_DIR XDG_STATE_HOME="$work/state" QT_QPA_PLATFORM=offscreen timeout 20 \
  "$bin/messageclient" "ParentWnd:0" >/dev/null 2>&1
rc=$?
[ $rc -eq 0 ] || fail "messageclient with a dead host ended with $rc"
[ -s "$work/state/messageclient/log/MessageClient.log" ] || fail "no log under \$XDG_STATE_HOME/messageclient/log"

run env MESSAGECLIENT_LOG_DIR="$work/log" "$bin/messageclient" "ParentWnd:0"
rc=$?
[ $rc -eq 1 ] || fail "messageclient without a display ended with $rc, not 1"
grep -q 'cannot start' "$work/err" || fail "messageclient without a display said '$(cat "$work/err")'"

[ $failed -eq 0 ] && echo "command lines as documented"
exit $failed
