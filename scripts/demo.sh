#!/usr/bin/env bash
# The demo: platform simulator, demo host and the module, built from here.
# With no display it all runs under Xvfb and openbox: the host is driven by a
# script, step by step, and each step leaves a screenshot in demo-out/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target platform-sim demo-host messageclient module-driver
BIN="$(cd "$BUILD_DIR" && pwd)/bin"

OUT=${DEMO_OUT:-$ROOT/demo-out}
SHOTS="$OUT/screenshots"
mkdir -p "$OUT/sim-data" "$SHOTS"
rm -f "$OUT/sim-ready.json" "$SHOTS"/*.png

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  export DISPLAY=:${DEMO_DISPLAY:-97}
  Xvfb "$DISPLAY" -screen 0 1600x900x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
  pids+=($!)
  sleep 1
  # A window manager draws the windows' title bars and gives full screen, as on a
  # desktop; without animations, so that each screenshot shows a state reached.
  cat >"$OUT/openbox-rc.xml" <<'RC'
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><theme><animateIconify>no</animateIconify></theme></openbox_config>
RC
  openbox --config-file "$OUT/openbox-rc.xml" >"$OUT/openbox.log" 2>&1 &
  pids+=($!)
  sleep 0.5
fi

"$BIN/platform-sim" --data-dir "$OUT/sim-data" --ready-file "$OUT/sim-ready.json" \
  >"$OUT/platform-sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$OUT/sim-ready.json" ] && break; sleep 0.1; done
[ -s "$OUT/sim-ready.json" ] || { echo "demo: the simulator did not start (see $OUT/platform-sim.log)"; exit 1; }

# One value of the simulator's ready file.
ready() { sed -n "s/.*\"$1\"[[:space:]]*:[[:space:]]*\"\{0,1\}\([^\",}]*\)\"\{0,1\}.*/\1/p" "$OUT/sim-ready.json" | head -n 1; }

BASE_URL=$(ready base_url)
CA_FILE=$(ready ca_file)
cat >"$OUT/global_cfg.cfg" <<CFG
<?xml version="1.0" encoding="UTF-8"?>
<Configure>
  <snap_folder>$OUT/snapshots</snap_folder>
  <rec_folder>$OUT/recordings</rec_folder>
  <ca_file>$CA_FILE</ca_file>
  <push_info_url>$BASE_URL/api/message/push/server/info</push_info_url>
</Configure>
CFG

export PAVRIX_CLOUD_URL=$(ready cloud_url)
export PAVRIX_CA_FILE="$CA_FILE"
export MESSAGECLIENT_LOG_DIR="$OUT/log"
LAUNCH="Token:$(ready token);RefreshToken:$(ready refresh_token);ServerUrl:$BASE_URL;Appkey:$(ready app_key)"
LAUNCH+=";AccessToken:$(ready access_token);TrustAccessToken:$(ready trust_access_token);AesKey:$(ready aes_key)"
LAUNCH+=";CfgPath:$OUT/global_cfg.cfg;NewWnd:1"

if [ $headless -eq 0 ]; then
  "$BIN/demo-host" --module "$BIN/messageclient" --launch "$LAUNCH" >"$OUT/demo-host.log" 2>&1
  exit 0
fi

# ---------------------------------------------------------------- scripted run
# The host's console: commands go in through a fifo, its event lines (and the
# module's output, on stderr) land in demo-host.log.
HOST_LOG="$OUT/demo-host.log"
fifo="$OUT/host-commands"
rm -f "$fifo"; mkfifo "$fifo"
"$BIN/demo-host" --stdio --drive-module --module "$BIN/messageclient" --launch "$LAUNCH" \
  <"$fifo" >"$HOST_LOG" 2>"$OUT/module.log" &
pids+=($!)
exec 7>"$fifo"

host() { echo "$*" >&7; }

# Waits until the host's log has a line starting with $1 after line $2 (default 0).
wait_line() {
  local pattern=$1 from=${2:-0} timeout=${3:-30}
  for _ in $(seq 1 $((timeout * 10))); do
    if tail -n +"$((from + 1))" "$HOST_LOG" | grep -q -- "^$pattern"; then return 0; fi
    sleep 0.1
  done
  echo "demo: no '$pattern' from the host within ${timeout}s (see $HOST_LOG)" >&2
  return 1
}
mark() { wc -l <"$HOST_LOG"; }

# Asks the module driver until the widget named $1 is visible.
wait_visible() {
  local name=$1 timeout=${2:-30}
  for _ in $(seq 1 $((timeout * 2))); do
    local from; from=$(mark)
    host "ui visible $name"
    wait_line "UI " "$from" 5 || return 1
    if tail -n +"$((from + 1))" "$HOST_LOG" | grep -q "^UI OK visible $name 1"; then return 0; fi
    sleep 0.5
  done
  echo "demo: $name did not show within ${timeout}s" >&2
  return 1
}

# A screenshot of the whole screen, a moment after the state was reached so
# that every window has painted it.
shot() { sleep "${2:-1}"; import -window root "$SHOTS/$1.png"; echo "demo: $SHOTS/$1.png"; }

step_host_with_module() {
  wait_line "EMBEDDED "
  wait_line "MSG 2054 " 0 30
  shot 01-host-with-module 2
}

step_alarm_opened() {
  host "startpush"
  sleep 2
  local id
  id=$(curl -s -X POST -H "Authorization: Bearer $(ready admin_token)" "$(ready admin_url)/admin/alarms" \
    -d '{"deviceSerial":"PV1000001","channelNo":1}' |
    sed -n 's/.*"ids":\[\([0-9]*\).*/\1/p')
  [ -n "$id" ] || { echo "demo: the simulator added no alarm" >&2; return 1; }
  host "show $id"
  wait_visible plyBut
  shot 02-alarm-opened
}

step_playing() {
  host "ui click plyBut"
  wait_visible CusSliderFrame 40
  shot 03-playing 2
}

step_full_screen() {
  local from; from=$(mark)
  host "ui click fullScrBox"
  wait_line "HOST FULLSCREEN 1" "$from"
  shot 04-full-screen 2
}

step_full_screen_left() {
  local from; from=$(mark)
  host "ui key MessageClientClass Esc"
  wait_line "HOST FULLSCREEN 0" "$from"
  wait_line "HOST MOVED" "$from"
  shot 05-full-screen-left 2
}

step_other_page() {
  local from; from=$(mark)
  host "page overview"
  wait_line "HOST PAGE overview" "$from"
  shot 06-host-other-page
}

step_module_back() {
  local from; from=$(mark)
  host "page messages"
  wait_line "HOST PAGE messages" "$from"
  wait_visible CusSliderFrame
  shot 07-module-back
}

step_host_with_module
step_alarm_opened
step_playing
step_full_screen
step_full_screen_left
step_other_page
step_module_back

host "quit"
exec 7>&-
echo "demo: screenshots in $SHOTS: the host with the module inside, a pushed alarm opened, its clip playing,"
echo "      full screen and back, the host's other page, the module back with its control bar"
echo "demo: what the host received is in $HOST_LOG, the module's own output in $OUT/module.log"
