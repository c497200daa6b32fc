#!/usr/bin/env bash
# Makes what a Windows user downloads, from Debian: the portable zip and the NSIS installer of
# both programs, cross-built with MinGW-w64 against the static Qt of tools/build-qt-windows.sh and
# the static FFmpeg of tools/build-ffmpeg-windows.sh (built first when their caches are missing:
# slow, once). The packages land in build-win-release/packages/.
# Environment: MTSRESCUE_WIN_RELEASE_BUILD (default build-win-release), MTSRESCUE_QT_WIN,
# MTSRESCUE_FFMPEG_WIN, MTSRESCUE_JOBS.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${MTSRESCUE_WIN_RELEASE_BUILD:-$root/build-win-release}
qt_win=${MTSRESCUE_QT_WIN:-/var/cache/mtsrescue/qt6-mingw-6.4.2}
jobs=${MTSRESCUE_JOBS:-$(nproc)}

command -v makensis >/dev/null || { echo "package-windows: makensis not installed (apt-get install nsis)" >&2; exit 1; }
if [ ! -f "$qt_win/.complete" ]; then
  echo "package-windows: no MinGW Qt in $qt_win: building it first (slow, once)"
fi
MTSRESCUE_QT_WIN=$qt_win tools/build-qt-windows.sh  # at once when the cache is current
ffmpeg_win=${MTSRESCUE_FFMPEG_WIN:-$(tools/build-ffmpeg-windows.sh --prefix)}
MTSRESCUE_FFMPEG_WIN=$ffmpeg_win tools/build-ffmpeg-windows.sh  # the same for the thumbnails' FFmpeg
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DMTSRESCUE_WINDOWS_QT="$qt_win" -DMTSRESCUE_BUILD_GUI=ON \
  -DMTSRESCUE_WINDOWS_FFMPEG="$ffmpeg_win" \
  -DMTSRESCUE_BUILD_TESTS=OFF -DMTSRESCUE_BUILD_BENCH=OFF >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs"
(cd "$build" && cpack -G "ZIP;NSIS")
ls -l "$build"/packages/mtsrescue-*-win64.*
