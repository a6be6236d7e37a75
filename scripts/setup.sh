#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Orvel needs,
# but only those that are missing. Safe to run again and again.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config git
  qtbase5-dev qtbase5-dev-tools libqt5x11extras5-dev libx11-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  portaudio19-dev libasound2-dev
  # fuzzing and sanitizer builds
  clang libclang-rt-dev
  # test clips, display and desktop tools used by the tests
  ffmpeg fonts-dejavu-core
  xvfb xauth xdotool xclip x11-utils imagemagick openbox wmctrl inotify-tools file
  libasound2-plugins pulseaudio-utils pulseaudio
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

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
