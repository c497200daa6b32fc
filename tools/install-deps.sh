#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12 (run as root or with sudo).
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "install-deps.sh: installing needs root: run it as root (su -c $0), or install sudo" >&2
    exit 1
  fi
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq \
  build-essential cmake ninja-build ccache git python3 pkg-config \
  libavcodec-dev libswscale-dev libavutil-dev \
  libgtest-dev googletest \
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl1-mesa-dev fonts-wqy-zenhei \
  ffmpeg dosfstools mtools util-linux e2fsprogs fusefat \
  mingw-w64 g++-mingw-w64-x86-64 wine wine64 \
  xvfb xauth time testdisk \
  dbus-daemon python3-dbus python3-gi \
  file dpkg-dev help2man desktop-file-utils appstream lintian \
  openbox imagemagick \
  nsis unzip xdotool chromium
