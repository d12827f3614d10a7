#!/usr/bin/env bash
# The demo: platform simulator, demo host and the module, built from here.
# With a display it starts them there for you to use. Without one it walks the
# operator's path under Xvfb and openbox: the host is driven by its console and
# the module through the module driver (clicks on named widgets); each step
# prints a line with the elapsed time and leaves a screenshot in
# demo-out/screenshots, and a labelled overview of them all ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
START_US=${EPOCHREALTIME/./}

# "[ 12.3s] what happens now"
say() {
  local tenths=$(((${EPOCHREALTIME/./} - START_US) / 100000))
  printf '[%3d.%ds] %s\n' $((tenths / 10)) $((tenths % 10)) "$*"
}
# Also from inside $(...): the message goes to stderr.
fail() {
  {
    say "FAILED: $*"
    say "logs: $OUT/demo-host.log (host), $OUT/module.log (module), $OUT/platform-sim.log"
  } >&2
  exit 1
}

OUT=${DEMO_OUT:-$ROOT/demo-out}
SHOTS="$OUT/screenshots"
# A fresh simulator each time: the demo stores a camera's code on the platform.
rm -rf "$OUT/sim-data" "$OUT/sim-ready.json" "$SHOTS"
mkdir -p "$OUT/sim-data" "$SHOTS"

say "installing what is missing and building; minutes the first time (log: $OUT/build.log)"
BUILD_DIR=${BUILD_DIR:-build}
{
  bash scripts/setup.sh
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target platform-sim demo-host messageclient module-driver
} >"$OUT/build.log" 2>&1 || { tail -n 30 "$OUT/build.log"; fail "the build failed"; }
BIN="$(cd "$BUILD_DIR" && pwd)/bin"

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  say "starting Xvfb and openbox"
  export DISPLAY=:${DEMO_DISPLAY:-97}
  Xvfb "$DISPLAY" -screen 0 1600x900x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $DISPLAY (see $OUT/xvfb.log)"
  # A window manager draws the windows' title bars and gives full screen, as on a
  # desktop; without animations, so that each screenshot shows a state reached.
  cat >"$OUT/openbox-rc.xml" <<'RC'
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><theme><animateIconify>no</animateIconify></theme></openbox_config>
RC
  openbox --config-file "$OUT/openbox-rc.xml" >"$OUT/openbox.log" 2>&1 &
  pids+=($!)
fi

say "starting the platform simulator"
"$BIN/platform-sim" --data-dir "$OUT/sim-data" --ready-file "$OUT/sim-ready.json" \
  >"$OUT/platform-sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$OUT/sim-ready.json" ] && break; sleep 0.1; done
[ -s "$OUT/sim-ready.json" ] || fail "the simulator did not start (see $OUT/platform-sim.log)"

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
  say "starting the demo host on $DISPLAY; close its window to end"
  "$BIN/demo-host" --module "$BIN/messageclient" --launch "$LAUNCH" >"$OUT/demo-host.log" 2>&1
  exit 0
fi

# ---------------------------------------------------------------- scripted run
# The host's console: commands go in through a fifo, its event lines (and the
# module's output, on stderr) land in demo-host.log.
HOST_LOG="$OUT/demo-host.log"
fifo="$OUT/host-commands"
rm -f "$fifo"
mkfifo "$fifo"
say "starting the demo host, which starts the module"
"$BIN/demo-host" --stdio --drive-module --module "$BIN/messageclient" --launch "$LAUNCH" \
  <"$fifo" >"$HOST_LOG" 2>"$OUT/module.log" &
pids+=($!)
exec 7>"$fifo"

host() { echo "$*" >&7; }
mark() { wc -l <"$HOST_LOG"; }

# The first host line after line $2 that starts with $1, within $3 seconds.
wait_line() {
  local pattern=$1 from=${2:-0} timeout=${3:-30} line
  for _ in $(seq 1 $((timeout * 10))); do
    line=$(tail -n +"$((from + 1))" "$HOST_LOG" | grep -m 1 -- "^$pattern" || true)
    if [ -n "$line" ]; then
      echo "$line"
      return 0
    fi
    sleep 0.1
  done
  fail "no '$pattern' from the host within ${timeout}s"
}

# A line for the module driver; prints its result (what follows the command
# in the answer). A refusal ends the demo unless $2 is "try".
ui() {
  local from answer
  from=$(mark)
  host "ui $1"
  answer=$(wait_line "UI " "$from" 10)
  case "$answer" in
    "UI OK $1"*) echo "${answer#"UI OK $1"}" | sed 's/^ //' ;;
    *) [ "${2:-}" = try ] && return 1 || fail "the module driver refused '$1': $answer" ;;
  esac
}

# Asks the driver "$1" until its result is "$2", for at most $3 seconds.
wait_ui() {
  local query=$1 want=$2 timeout=${3:-20} got=""
  for _ in $(seq 1 $((timeout * 4))); do
    got=$(ui "$query" try || true)
    [ "$got" = "$want" ] && return 0
    sleep 0.25
  done
  fail "'$query' gave '$got', not '$want', within ${timeout}s"
}

# Adds an alarm of camera $1 on the simulator, which pushes it; prints its id.
add_alarm() {
  local id
  id=$(curl -s -X POST -H "Authorization: Bearer $(ready admin_token)" "$(ready admin_url)/admin/alarms" \
    -d "{\"deviceSerial\":\"$1\",\"channelNo\":1}" | sed -n 's/.*"ids":\[\([0-9]*\).*/\1/p')
  [ -n "$id" ] || fail "the simulator added no alarm for $1"
  echo "$id"
}

# A screenshot of the whole screen, a moment after the state was reached so
# that every window has painted it; $2 labels it in the overview.
shot_names=()
shot_labels=()
shot() {
  sleep "${3:-1}"
  import -window root "$SHOTS/$1.png"
  shot_names+=("$1")
  shot_labels+=("$2")
  say "  screenshot $1: $2"
}

step_lists() {
  say "the module in the host's window: the unread alarms"
  wait_line "EMBEDDED " 0 30 >/dev/null
  wait_line "MSG 2054 " 0 30 >/dev/null
  wait_ui "visible notReadListTab/AlarmWnd" 1
  shot 01-unread-list "unread alarms, in the host's window" 2
  say "the list of all alarms"
  ui "tab resTab 0" >/dev/null
  wait_ui "visible allResListTab/AlarmWnd" 1
  shot 02-all-list "all alarms" 1.5
}

step_detail() {
  say "a new alarm at the east gate is pushed; the host opens it"
  host "startpush"
  for _ in $(seq 1 50); do
    curl -s -H "Authorization: Bearer $(ready admin_token)" "$(ready admin_url)/admin/push/clients" |
      grep -q '"id"' && break
    sleep 0.1
  done
  local id
  id=$(add_alarm PV1000001)
  host "show $id"
  wait_ui "visible plyBut" 1
  wait_ui "text alarmDevLab" "东门入口"
  wait_ui "enabled bigPicBut" 1
  shot 03-detail "an alarm's details and picture"
}

step_encrypted() {
  say "an alarm of the lift hall, whose pictures are encrypted; the platform has no code for it"
  local id
  id=$(add_alarm PV1000004)
  host "show $id"
  wait_ui "visible PasswdInputWnd" 1
  shot 04-code-dialog "encrypted picture: the code dialog"
  say "typing the camera's code"
  ui "type PasswdInputWnd/lineEdit ZXCVBN" >/dev/null
  ui "click PasswdInputWnd/OkBtn" >/dev/null
  wait_ui "visible PasswdInputWnd" 0
  wait_ui "enabled bigPicBut" 1
  shot 05-decrypted "decrypted with the typed code"
}

step_large_view() {
  say "the large view of the picture"
  ui "click bigPicBut" >/dev/null
  wait_ui "visible BigPicWgt" 1
  shot 06-large-view "large view"
  ui "click BigPicWgt/clsBtn" >/dev/null
  wait_ui "visible BigPicWgt" 0
}

step_filter() {
  say "the filter: from the first of the month, encrypted alarms only"
  ui "click filterBtn" >/dev/null
  wait_ui "visible filterTab" 1
  ui "click fromCalBtn" >/dev/null
  wait_ui "visible CalendarWnd" 1
  # Sundays first: the first day of the month sits after its weekday's blanks.
  local first cell
  first=$(date +%Y-%m-01)
  cell=$(($(date -d "$first" +%w) + 1))
  ui "click CalendarWnd/radioButton$cell" >/dev/null
  shot 07-filter-calendar "filter with the calendar"
  ui "click filterTitleLab" >/dev/null
  wait_ui "visible CalendarWnd" 0
  wait_ui "text fromTimeLab" "$first 00:00:00"
  ui "key isEncryptCombox Up" >/dev/null
  wait_ui "text isEncryptCombox" "是"
  ui "click filterOkBtn" >/dev/null
  wait_ui "visible ResultTab/AlarmWnd" 1
  shot 08-filter-result "filter result: encrypted alarms" 1.5
  ui "click ResultTab/backMsgListBtn2" >/dev/null
  wait_ui "visible defaultTab" 1
}

step_deletion() {
  say "a row's menu"
  ui "rclick AlarmWnd#2" >/dev/null
  local i
  for i in $(seq 1 40); do
    ui "menu" try >/dev/null && break
    [ "$i" -eq 40 ] && fail "no menu on the row within 10s"
    sleep 0.25
  done
  shot 09-row-menu "a row's menu"
  say "deletion mode from the menu; two rows ticked"
  ui "menu 批量删除" >/dev/null
  wait_ui "visible deleteByQueueBotFrame" 1
  ui "click delSelectedCtrl#1" >/dev/null
  ui "click delSelectedCtrl#3" >/dev/null
  wait_ui "text deleteOkBtn" "删除 (2)"
  shot 10-deletion-mode "deletion mode, two ticked"
  ui "click deleteCancelBtn" >/dev/null
  wait_ui "visible deleteByQueueBotFrame" 0
}

# Differing pixels of the video (the record area above the control bar)
# between two screenshots.
video_change() {
  local area bar x y w h bx by bw bh
  area=$(ui "rect recordArea")
  bar=$(ui "rect CusSliderFrame")
  read -r x y w h <<<"$area"
  read -r bx by bw bh <<<"$bar"
  [ "$by" -gt "$y" ] && [ "$by" -lt $((y + h)) ] && h=$((by - y))
  compare -metric AE "$SHOTS/$1.png[${w}x${h}+${x}+${y}]" "$SHOTS/$2.png[${w}x${h}+${x}+${y}]" null: 2>&1 || true
}

step_playback() {
  say "another alarm at the east gate; playing its clip"
  local id i
  id=$(add_alarm PV1000001)
  host "show $id"
  wait_ui "visible plyBut" 1
  wait_ui "text alarmDevLab" "东门入口"
  ui "click plyBut" >/dev/null
  wait_ui "visible CusSliderFrame" 1 40
  for i in $(seq 1 80); do
    [ "$(ui "text curTimeLab" try || true)" != "00:00:00" ] && break
    [ "$i" -eq 80 ] && fail "the clip's clock did not start within 20s"
    sleep 0.25
  done
  shot 11-playing "the clip playing" 0.5
  shot 12-playing-later "the same clip 2 s later" 2
  local changed
  changed=$(video_change 11-playing 12-playing-later)
  [ "${changed%%.*}" -gt 0 ] 2>/dev/null || fail "the video did not change in 2 s ($changed pixels)"
  say "  the video changed in $changed pixels"
}

step_full_screen() {
  say "full screen"
  local from
  from=$(mark)
  ui "click fullScrBox" >/dev/null
  wait_line "HOST FULLSCREEN 1" "$from" >/dev/null
  shot 13-full-screen "full screen" 1.5
  say "Esc leaves full screen"
  from=$(mark)
  ui "key MessageClientClass Esc" >/dev/null
  wait_line "HOST FULLSCREEN 0" "$from" >/dev/null
  wait_line "HOST MOVED" "$from" >/dev/null
  shot 14-full-screen-left "back from full screen" 1.5
}

step_other_page() {
  say "the host's other page: the module hides"
  local from
  from=$(mark)
  host "page overview"
  wait_line "HOST PAGE overview" "$from" >/dev/null
  shot 15-host-other-page "the host's other page, no module"
  say "back to the alarms page"
  from=$(mark)
  host "page messages"
  wait_line "HOST PAGE messages" "$from" >/dev/null
  wait_ui "visible CusSliderFrame" 1
  shot 16-module-back "the module back, with its control bar"
}

# One labelled picture of all screenshots, small enough for the README.
overview() {
  local args=() i font
  font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
  [ -f "$font" ] || font=$(fc-match -f '%{file}' 2>/dev/null || true)
  for i in "${!shot_names[@]}"; do
    args+=(-label "${shot_names[$i]%%-*}  ${shot_labels[$i]}" "$SHOTS/${shot_names[$i]}.png")
  done
  montage ${font:+-font "$font"} -pointsize 15 -background '#20283a' -fill '#e8ecf5' \
    "${args[@]}" -tile 4x -geometry 400x225+6+6 -quality 82 "$OUT/overview.jpg"
  cp "$OUT/overview.jpg" "$ROOT/docs/demo-overview.jpg"
}

step_lists
step_detail
step_encrypted
step_large_view
step_filter
step_deletion
step_playback
step_full_screen
step_other_page

host "quit"
exec 7>&-
say "making the overview of ${#shot_names[@]} screenshots"
overview
say "done: screenshots in $SHOTS; what the host received in $HOST_LOG, the module's output in $OUT/module.log"
say "overview: $OUT/overview.jpg (also docs/demo-overview.jpg)"
