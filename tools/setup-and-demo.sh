#!/usr/bin/env bash
# From a fresh Debian 12: installs what is needed, builds mtsrescue, makes a demo card image with
# real video on it, quick-formats it and recovers the video into demo/recovered.
# Runs as root, or as a user who may use sudo (then only the installation goes through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
status=0
tools/demo.sh || status=$?
# Started through sudo: the build and the demo belong to the user who asked, not to root.
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  chown -R "$SUDO_USER": build demo
fi
exit "$status"
