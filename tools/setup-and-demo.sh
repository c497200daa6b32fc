#!/usr/bin/env bash
# From a fresh Debian 12: installs what is needed, builds mtsrescue, makes a demo card image with
# real video on it, quick-formats it and recovers the video into demo/recovered.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
tools/demo.sh
