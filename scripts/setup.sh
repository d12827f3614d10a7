#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5svg5-dev
  libjsoncpp-dev libssl-dev libsqlite3-dev
  libcpp-httplib-dev libspdlog-dev
  libavformat-dev libavcodec-dev libavutil-dev ffmpeg
  xvfb xauth x11-apps imagemagick openbox curl
  fonts-wqy-microhei clang-format
  clang libclang-rt-dev
  dpkg-dev file python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
