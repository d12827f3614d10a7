#!/usr/bin/env bash
# The demo: platform simulator, demo host and the module, built from here.
# With no display it all runs under Xvfb and screenshots land in demo-out/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target platform-sim demo-host messageclient
BIN="$(cd "$BUILD_DIR" && pwd)/bin"

OUT=${DEMO_OUT:-$ROOT/demo-out}
SHOTS="$OUT/screenshots"
mkdir -p "$OUT/sim-data" "$SHOTS"
rm -f "$OUT/sim-ready.json"

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
  # A window manager draws the windows' title bars, as on a desktop.
  openbox >"$OUT/openbox.log" 2>&1 &
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

if [ $headless -eq 1 ]; then
  # The host is driven by script: the push channel starts, a new alarm comes
  # in and the host opens it, as an operator's host application would.
  fifo="$OUT/host-commands"
  rm -f "$fifo"; mkfifo "$fifo"
  "$BIN/demo-host" --headless --module "$BIN/messageclient" --launch "$LAUNCH" <"$fifo" >"$OUT/demo-host.log" 2>&1 &
  pids+=($!)
  exec 7>"$fifo"
  sleep "${DEMO_SECONDS:-8}"
  import -window root "$SHOTS/demo.png"
  echo "startpush" >&7
  sleep 2
  ADMIN=$(ready admin_url)
  id=$(curl -s -X POST -H "Authorization: Bearer $(ready admin_token)" "$ADMIN/admin/alarms" -d '{"deviceSerial":"PV1000001","channelNo":1}' |
    sed -n 's/.*"ids":\[\([0-9]*\).*/\1/p')
  if [ -n "$id" ]; then
    echo "show $id" >&7
    sleep 5
    import -window root "$SHOTS/demo-opened.png"
  fi
  echo "quit" >&7
  exec 7>&-
  echo "demo: screenshots saved to $SHOTS (demo.png: start-up; demo-opened.png: a pushed alarm opened)"
  echo "demo: what the host received is in $OUT/demo-host.log"
else
  "$BIN/demo-host" --module "$BIN/messageclient" --launch "$LAUNCH" >"$OUT/demo-host.log" 2>&1
fi
